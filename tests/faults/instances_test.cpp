// Many copies at once: every second copy is refused while the first runs and
// leaves it undisturbed; a first copy killed outright holds nothing back, so the
// next start works at once.
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <csignal>

namespace tarvik::e2e {
namespace {

const QString kRefused = QStringLiteral("Error\tA One Copy of TARVIK is runing now.");

struct FirstCopy {
    FirstCopy() {
        app = std::make_unique<Tarvik>(box);
        initialised = sim.waitFor("rx", "ATM2+S64=1").kind == "rx" &&
                      eventually([this] { return box.logLines().size() == 1; });
    }
    Sandbox box;
    Simulator sim{box, {"--number", "12345678", "--rings", "1"}};
    std::unique_ptr<Tarvik> app;
    bool initialised = false;
};

TEST(Copies, FiftySecondCopiesAreRefusedAndTheFirstGoesOn) {
    FirstCopy first;
    ASSERT_TRUE(first.initialised);
    // Five at a time, so that they also race each other for the guard.
    for (int batch = 0; batch < 10; ++batch) {
        std::vector<std::unique_ptr<Tarvik>> copies;
        for (int i = 0; i < 5; ++i)
            copies.push_back(std::make_unique<Tarvik>(first.box));
        for (auto& copy : copies)
            EXPECT_EQ(copy->waitForExit(15s), 0) << "refused and ended by itself";
    }
    EXPECT_EQ(first.box.boxes(), QStringList(50, kRefused));
    EXPECT_TRUE(first.app->running());
    EXPECT_EQ(first.sim.count("rx", "ATE0"), 1) << "no copy but the first touched the port";
    EXPECT_EQ(first.sim.count("ev", "port opened"), 1);
    EXPECT_EQ(first.box.logLines().size(), 1) << "refused copies write no log";

    first.sim.command("call");
    ASSERT_TRUE(eventually([&first] { return first.box.logLines().size() >= 3; }));
    EXPECT_EQ(first.box.logLines()[1], "CallerID: 12345678");
    EXPECT_EQ(first.app->terminate(), 0);
}

TEST(Copies, AfterTheFirstIsKilledOutrightTheNextStartWorksAtOnce) {
    FirstCopy first;
    ASSERT_TRUE(first.initialised);
    ASSERT_EQ(::kill(static_cast<pid_t>(first.app->pid()), SIGKILL), 0);
    EXPECT_EQ(first.app->waitForExit(5s), -1) << "killed, no normal exit";
    ASSERT_FALSE(first.sim.waitFor("ev", "port closed").kind.isEmpty());

    Tarvik next(first.box);
    ASSERT_EQ(first.sim.waitFor("rx", "ATM2+S64=1", kHangGuard, 2).kind, "rx");
    ASSERT_TRUE(eventually([&first] { return first.box.logLines().size() == 2; }));
    EXPECT_TRUE(first.box.boxes().isEmpty()) << "neither refused nor a failed modem start";
    EXPECT_EQ(next.terminate(), 0);
}

} // namespace
} // namespace tarvik::e2e
