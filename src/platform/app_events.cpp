#include "platform/app_events.h"

#include "platform/errors.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>

namespace tarvik {
namespace {

int waitDepth = 0;

const QEvent::Type kIdleEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

ModemWaitScope::ModemWaitScope() {
    ++waitDepth;
}
ModemWaitScope::~ModemWaitScope() {
    --waitDepth;
}
bool ModemWaitScope::active() {
    return waitDepth > 0;
}

TAppEvents::TAppEvents() {
    QCoreApplication::instance()->installEventFilter(this);
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &TAppEvents::aboutToBlock);
}

TAppEvents::~TAppEvents() {
    if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void TAppEvents::wakeFromAnyThread() {
    if (!wakePending_.exchange(true)) QCoreApplication::postEvent(this, new QEvent(kWakeEvent));
}

bool TAppEvents::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != kIdleEvent) activity_ = true;
    return QObject::eventFilter(watched, event);
}

bool TAppEvents::event(QEvent* event) {
    if (event->type() == kWakeEvent) {
        wakePending_ = false;
        return true;
    }
    if (event->type() == kIdleEvent) {
        idleQueued_ = false;
        runIdle();
        return true;
    }
    return QObject::event(event);
}

void TAppEvents::aboutToBlock() {
    // Inside a modem wait the loop blocks too; the idle pass waits for the top level.
    if (!activity_ || idleQueued_ || running_ || ModemWaitScope::active()) return;
    idleQueued_ = true;
    QCoreApplication::postEvent(this, new QEvent(kIdleEvent), Qt::LowEventPriority);
}

void TAppEvents::runIdle() {
    // A pass that lands inside a wait is left for the next time the loop empties.
    if (running_ || ModemWaitScope::active()) return;
    activity_ = false;
    running_ = true;
    runWithErrorReport([this] {
        if (OnIdle) OnIdle();
    });
    running_ = false;
}

void QtEventPump::processPending() {
    ModemWaitScope wait;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::waitForActivity(std::uint32_t maxMs) {
    ModemWaitScope wait;
    auto* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) return;
    // The timer bounds the block; any other event or a wake-up ends it sooner.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    deadline.start(static_cast<int>(maxMs));
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace tarvik
