#include "ui/widgets/form_placement.h"

#include "platform/errors.h"
#include "store/keyvalue.h"
#include "store/settings.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <array>
#include <optional>
#include <typeinfo>

namespace tarvik {
namespace {

// Show commands and flags of the placement record the values were made for.
constexpr int kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3;
constexpr int kRestoreToMaximized = 2;

// No minimised icon or maximised position is kept on this platform.
const QString kNoMinMaxPos = QStringLiteral("-1,-1,-1,-1");

std::optional<int> readInteger(const StoreKey& key, const QString& section, const QString& name) {
    const std::optional<QString> text = key.readString(section, name);
    std::int32_t value = 0;
    if (!text || !parseStoredInteger(*text, value)) return std::nullopt;
    return value;
}

std::optional<std::array<int, 4>> readQuad(const StoreKey& key, const QString& section,
                                           const QString& name) {
    const std::optional<QString> text = key.readString(section, name);
    if (!text) return std::nullopt;
    const QStringList parts = text->split(QLatin1Char(','));
    if (parts.size() != 4) return std::nullopt;
    std::array<int, 4> values{};
    for (int i = 0; i < 4; ++i) {
        std::int32_t value = 0;
        if (!parseStoredInteger(parts[i], value)) return std::nullopt;
        values[i] = value;
    }
    return values;
}

} // namespace

TFormPlacement::TFormPlacement(QWidget* window, const QString& section, QSize minimumSize,
                               bool positionOnly)
    : QObject(window)
    , window_(window)
    , section_(section)
    , positionOnly_(positionOnly) {
    setDpiSource({});
    if (minimumSize.isValid()) window_->setMinimumSize(minimumSize);
    window_->installEventFilter(this);
    // A dialog ended by done() is hidden without a close event that filters
    // see, so its end is taken from the dialog itself.
    if (auto* dialog = qobject_cast<QDialog*>(window_))
        connect(dialog, &QDialog::finished, this,
                [this] { runWithErrorReport([this] { saveAtClose(); }); });
    remember();
}

TFormPlacement::~TFormPlacement() {
    if (shown_ && !savedSinceShown_) runWithErrorReport([this] { SavePlacement(true); });
}

void TFormPlacement::setDpiSource(DpiSource source) {
    if (!source) {
        source = [window = window_] {
            const QScreen* screen = window->screen();
            if (!screen) screen = QGuiApplication::primaryScreen();
            return screen ? qRound(screen->logicalDotsPerInch()) : 96;
        };
    }
    dpi_ = std::move(source);
    seen_.pixelsPerInch = dpi_();
}

int TFormPlacement::pixelsPerInch() const {
    return dpi_();
}

void TFormPlacement::remember() {
    seen_.state = window_->windowState();
    seen_.normal = window_->normalGeometry();
    seen_.pixelsPerInch = dpi_();
}

void TFormPlacement::RestorePlacement() {
    const StoreKey key(mainKeyPath());
    if (readInteger(key, section_, QStringLiteral("PixelsPerInch")) != pixelsPerInch()) return;

    if (const auto pos = readQuad(key, section_, QStringLiteral("NormPos"))) {
        const auto [left, top, right, bottom] = *pos;
        const QSize size = positionOnly_ ? window_->size() : QSize(right - left, bottom - top);
        window_->setGeometry(QRect(QPoint(left, top), size));
    }

    const std::optional<int> showCmd = readInteger(key, section_, QStringLiteral("ShowCmd"));
    if (!showCmd) return;
    const int flags = readInteger(key, section_, QStringLiteral("Flags")).value_or(0);
    Qt::WindowStates state = window_->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (*showCmd) {
    case 2:
    case 6:
    case 7:
        // Read as restored: a window shown to be looked at must not open out
        // of view, and a tray program's window has no task-bar entry to bring
        // it back from there.
        if ((flags & kRestoreToMaximized) && !positionOnly_) state |= Qt::WindowMaximized;
        break;
    case 3:
        // A window of fixed size is never maximised.
        if (!positionOnly_) state |= Qt::WindowMaximized;
        break;
    case 1:
    case 5:
    case 9:
        break;
    default:
        return;
    }
    window_->setWindowState(state);
}

void TFormPlacement::SavePlacement(bool atDestruction) {
    if (!atDestruction) remember();
    savedSinceShown_ = true;

    const bool minimised = seen_.state.testFlag(Qt::WindowMinimized);
    const bool maximised = seen_.state.testFlag(Qt::WindowMaximized);
    const int flags = minimised && maximised ? kRestoreToMaximized : 0;
    const int showCmd = minimised ? kShowMinimized : maximised ? kShowMaximized : kShowNormal;
    const QRect& r = seen_.normal;

    StoreKey key(mainKeyPath());
    key.writeString(section_, QStringLiteral("Flags"), QString::number(flags));
    key.writeString(section_, QStringLiteral("ShowCmd"), QString::number(showCmd));
    key.writeString(section_, QStringLiteral("PixelsPerInch"),
                    QString::number(seen_.pixelsPerInch));
    key.writeString(section_, QStringLiteral("MinMaxPos"), kNoMinMaxPos);
    key.writeString(section_, QStringLiteral("NormPos"),
                    QStringLiteral("%1,%2,%3,%4")
                        .arg(r.left())
                        .arg(r.top())
                        .arg(r.left() + r.width())
                        .arg(r.top() + r.height()));
    key.writeString(section_, QStringLiteral("Visible"),
                    atDestruction ? QStringLiteral("1") : QStringLiteral("0"));
    key.flush();
}

void TFormPlacement::saveAtClose() {
    if (shown_ && !savedSinceShown_) SavePlacement(false);
}

bool TFormPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    switch (event->type()) {
    case QEvent::Show:
        // A spontaneous show is the window coming back from the task bar.
        if (!event->spontaneous()) {
            shown_ = true;
            savedSinceShown_ = false;
            closeRequested_ = false;
            shownAs_ = typeid(*window_);
            runWithErrorReport([this] { RestorePlacement(); });
        }
        remember();
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
        remember();
        break;
    case QEvent::Close:
        // A dialog's end is taken from finished().
        closeRequested_ = !qobject_cast<QDialog*>(window_);
        break;
    case QEvent::Hide:
        // An accepted close hides the window; a refused one leaves it shown.
        // The window's destructor hides it too, when its dynamic type is no
        // longer the one that was shown: that is no close.
        if (closeRequested_ && !event->spontaneous() && shownAs_ && typeid(*window_) == *shownAs_) {
            closeRequested_ = false;
            runWithErrorReport([this] { saveAtClose(); });
        }
        break;
    default:
        break;
    }
    return false;
}

} // namespace tarvik
