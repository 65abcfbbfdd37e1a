// A big phone book does not hold calls up: a call that rings while a book of
// 100,000 entries opens is answered on its configured ring, as with a small book.
#include "book_window.h"

#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

TEST(BigPhoneBook, ACallRingingWhileTheBookOpensIsAnsweredOnItsRing) {
    BookWindowRun run(100'000, {"--number", "55512343", "--rings", "3", "--gap", "300ms"},
                      [](Sandbox& box) { box.setParam("AnswerOnRing", "3"); });
    if (!run.x.started()) GTEST_SKIP() << "Xvfb is not available";
    ASSERT_TRUE(run.failure().isEmpty()) << run.failure().toStdString();

    run.focus(run.mainWindow);
    run.key("p");
    run.sim->command("call");
    EXPECT_FALSE(run.waitForBook(30s).isEmpty()) << "p opens the phone book";

    const TranscriptEntry answer = run.sim->waitFor("rx", "AT+SR", 30s);
    ASSERT_EQ(answer.kind, "rx") << describeRun(*run.sim, run.box, *run.app);
    const TranscriptEntry third = run.sim->waitFor("tx", "RING", 1s, 3);
    ASSERT_EQ(third.kind, "tx");
    EXPECT_GT(answer.ms, third.ms) << "the third ring is the one to answer";
    // What a small book gives on a loaded machine; a book that held the program
    // up for seconds would show here.
    EXPECT_LT(answer.ms - third.ms, 1500) << describeRun(*run.sim, run.box, *run.app);
    EXPECT_TRUE(eventually([&run] { return run.box.logLines().contains("CallerID: 55512343"); }))
        << describeRun(*run.sim, run.box, *run.app);
    EXPECT_EQ(run.sim->count("rx", "AT+SR"), 1);
}

} // namespace
} // namespace tarvik::e2e
