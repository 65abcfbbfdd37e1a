#include "platform/single_instance.h"
#include "platform/termination.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvik;

namespace {

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir_.path()));
    }
    void TearDown() override { qputenv("XDG_RUNTIME_DIR", saved_); }
    QTemporaryDir dir_;

private:
    QByteArray saved_;
};

TEST_F(GuardTest, ASecondCopyIsRefusedUntilTheFirstEnds) {
    auto first = std::make_unique<SingleInstanceGuard>("TARVIK_ISRUN");
    EXPECT_TRUE(first->firstCopy());
    EXPECT_TRUE(QFile::exists(dir_.filePath("TARVIK_ISRUN")));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(SingleInstanceGuard("TARVIK_ISRUN").firstCopy());
    EXPECT_TRUE(SingleInstanceGuard("OTHER").firstCopy());
    first.reset();
    EXPECT_TRUE(SingleInstanceGuard("TARVIK_ISRUN").firstCopy());
}

TEST_F(GuardTest, AKilledCopyNeverBlocksTheNextStart) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SingleInstanceGuard guard("TARVIK_ISRUN");
        char ok = guard.firstCopy() ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_FALSE(SingleInstanceGuard("TARVIK_ISRUN").firstCopy());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(SingleInstanceGuard("TARVIK_ISRUN").firstCopy());
    close(ready[0]);
    close(ready[1]);
}

TEST(Termination, SignalsArriveOnTheEventLoop) {
    TerminationSignals::blockEarly();
    QList<int> received;
    TerminationSignals handler([&received](int signal) {
        received.append(signal);
        if (received.size() == 2) QCoreApplication::quit();
    });
    QTimer::singleShot(0, [] {
        kill(getpid(), SIGTERM);
        kill(getpid(), SIGINT);
    });
    QTimer::singleShot(5000, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    std::sort(received.begin(), received.end());
    EXPECT_EQ(received, (QList<int>{SIGINT, SIGTERM}));
}

} // namespace
