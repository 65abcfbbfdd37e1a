#include "platform/box_recorder.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/tick.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace tarvik;

namespace {

class WithRecorder : public ::testing::Test {
protected:
    void SetUp() override { previous_ = setMessagePresenter(recorder_); }
    void TearDown() override { setMessagePresenter(previous_); }
    std::shared_ptr<RecordingPresenter> recorder_ = std::make_shared<RecordingPresenter>();

private:
    std::shared_ptr<MessagePresenter> previous_;
};

TEST(TickCount, FollowsTheMonotonicClockAndCanBeReplaced) {
    const std::uint32_t start = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const std::uint32_t elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 1000u);

    setTickSource([] { return 0xFFFFFFF0u; });
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    setTickSource({});
    EXPECT_NE(GetTickCount(), 0xFFFFFFF0u);
}

TEST_F(WithRecorder, ErrorBoxHasNoIconAndAnOkButton) {
    ErrorBox("Error", "Create Log-file!");
    ASSERT_EQ(recorder_->boxes().size(), 1);
    const BoxRequest box = recorder_->boxes()[0];
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.text, "Create Log-file!");
    EXPECT_EQ(box.icon, BoxIcon::None);
    EXPECT_EQ(box.buttons, BoxButtons::Ok);
}

TEST_F(WithRecorder, TheDefaultReportAddsAFullStopUnderTheTitle) {
    setApplicationTitle("TARVIK [Courier TREVA 2.51+]");
    runWithErrorReport([] { throw TarvikError("'x' is not a valid integer value"); });
    runWithErrorReport([] { throw std::runtime_error("Already ends."); });
    runWithErrorReport([] {});
    const auto boxes = recorder_->boxes();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0].caption, "TARVIK [Courier TREVA 2.51+]");
    EXPECT_EQ(boxes[0].text, "'x' is not a valid integer value.");
    EXPECT_EQ(boxes[0].icon, BoxIcon::Error);
    EXPECT_EQ(boxes[1].text, "Already ends.");
}

TEST(FileRecorder, WritesOneLinePerBox) {
    QTemporaryDir dir;
    const QString file = dir.filePath("boxes.txt");
    FileRecordingPresenter recorder(file);
    EXPECT_EQ(
        recorder.present({"Confirm", "Удалить запись?\r123", BoxIcon::Question, BoxButtons::YesNo}),
        BoxResult::Yes);
    recorder.present(
        {"Error", "A One Copy of TARVIK is runing now.", BoxIcon::None, BoxButtons::Ok});
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()),
              "Confirm\tУдалить запись?\\n123\nError\tA One Copy of TARVIK is runing now.\n");
}

TEST(Paths, FollowTheXdgFolders) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    EXPECT_EQ(portsDir(), dir.path() + "/Tarvik/ports");
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(tarvikConfigDir(), QDir::homePath() + "/.config/Tarvik");
    qputenv("XDG_CONFIG_HOME", saved);

    EXPECT_TRUE(isInstalledProgramFolder("/usr/bin/"));
    EXPECT_TRUE(isInstalledProgramFolder("/opt/tarvik/bin/"));
    EXPECT_TRUE(isInstalledProgramFolder(dir.path() + "/missing/"));
    EXPECT_FALSE(isInstalledProgramFolder(dir.path() + "/"));
    EXPECT_TRUE(executableDir().endsWith('/'));
    EXPECT_TRUE(ProgramDir().endsWith('/'));
}

} // namespace
