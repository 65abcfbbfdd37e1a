// The application object's error report and the message boxes, on their own
// TarvikApplication.
#include "platform/box_recorder.h"
#include "platform/errors.h"
#include "ui/message_box_qt.h"
#include "ui/tarvik_application.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

namespace tarvik {
namespace {

// Throws from its event handler, as a faulty handler would.
class Throwing final : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw TarvikError(QStringLiteral("Handler failed"));
        if (event->type() == QEvent::User + 1) ++handled;
        return QObject::event(event);
    }
    int handled = 0;
};

class ReportTest : public ::testing::Test {
protected:
    ReportTest()
        : previous(setMessagePresenter(boxes)) {
        setApplicationTitle("TARVIK");
    }
    ~ReportTest() override { setMessagePresenter(previous); }
    std::shared_ptr<RecordingPresenter> boxes = std::make_shared<RecordingPresenter>();
    std::shared_ptr<MessagePresenter> previous;
};

TEST_F(ReportTest, EventHandlerErrorsReachTheReportAndTheProgramGoesOn) {
    Throwing target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes->boxes().size(), 1);
    EXPECT_EQ(boxes->boxes()[0].caption, "TARVIK");
    EXPECT_EQ(boxes->boxes()[0].text, "Handler failed.");
    EXPECT_EQ(boxes->boxes()[0].icon, BoxIcon::Error);
    EXPECT_EQ(target.handled, 1);
}

TEST_F(ReportTest, ReportedSlotsOfTimers) {
    QTimer::singleShot(0, qApp, withErrorReport([] { throw std::runtime_error("Timer failed"); }));
    QTRY_COMPARE(boxes->boxes().size(), 1);
    EXPECT_EQ(boxes->boxes()[0].text, "Timer failed.");
}

TEST(Application, LivesOnWithoutVisibleWindows) {
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
}

// Answers the next box that opens and remembers what it showed.
struct BoxAnswer {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

void answerNextBox(BoxAnswer& seen, QMessageBox::StandardButton press) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, &seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        box->button(press)->click();
        poll->deleteLater();
    });
    poll->start(10);
}

TEST(QtMessageBoxes, CaptionTextIconAndButtons) {
    QtMessagePresenter presenter;
    BoxAnswer seen;
    answerNextBox(seen, QMessageBox::Ok);
    EXPECT_EQ(presenter.present({"Error", "Create Log-file!", BoxIcon::None, BoxButtons::Ok}),
              BoxResult::Ok);
    EXPECT_EQ(seen.title, "Error");
    EXPECT_EQ(seen.text, "Create Log-file!");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);

    answerNextBox(seen, QMessageBox::No);
    EXPECT_EQ(presenter.present({"TARVIK", "Delete?", BoxIcon::Question, BoxButtons::YesNo}),
              BoxResult::No);
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

    answerNextBox(seen, QMessageBox::Yes);
    EXPECT_EQ(presenter.present({"TARVIK", "Failed.", BoxIcon::Error, BoxButtons::YesNo}),
              BoxResult::Yes);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

TEST(QtMessageBoxes, ABoxAskedForByAWorkerShowsOnTheUserInterfaceThread) {
    QtMessagePresenter presenter;
    BoxAnswer seen;
    answerNextBox(seen, QMessageBox::Yes);
    BoxResult answer = BoxResult::Ok;
    bool done = false;
    std::thread worker([&] {
        answer =
            presenter.present({"TARVIK", "From a worker", BoxIcon::Question, BoxButtons::YesNo});
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(seen.text == "From a worker", 5000);
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(answer, BoxResult::Yes);
}

} // namespace
} // namespace tarvik

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    tarvik::TarvikApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
