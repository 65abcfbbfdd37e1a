// The UI hand-over and the worker thread class the port's threads rest on.
#include "platform/ui_handover.h"
#include "platform/worker_thread.h"
#include "serial_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace tarvik {
namespace {

using namespace std::chrono_literals;
using test::pumpUntil;

TEST(UiHandover, StepsRunOnTheUiThreadFromTheEventLoopAndBlockTheWorker) {
    ASSERT_TRUE(isUiThread());
    const auto ui = std::this_thread::get_id();
    std::atomic<int> stage{0};
    std::thread::id ranOn;
    std::thread worker([&] {
        EXPECT_FALSE(isUiThread());
        runOnUiThread([&] {
            ranOn = std::this_thread::get_id();
            stage = 1;
        });
        // Only once the step has run does the worker go on.
        EXPECT_EQ(stage.load(), 1);
        stage = 2;
    });
    EXPECT_TRUE(pumpUntil([&] { return stage == 2; }, 2s));
    worker.join();
    EXPECT_EQ(ranOn, ui);
}

TEST(UiHandover, AnExceptionComesBackToTheWorkerAndTheUiGoesOn) {
    std::atomic<bool> caught{false};
    std::thread worker([&] {
        try {
            runOnUiThread([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error& e) {
            caught = std::string(e.what()) == "handler failed";
        }
    });
    EXPECT_TRUE(pumpUntil([&] { return caught.load(); }, 2s));
    worker.join();
}

TEST(UiHandover, OnTheUiThreadAStepRunsAtOnceAndExplicitRunsTakeWhatIsPending) {
    int ran = 0;
    runOnUiThread([&] { ++ran; });
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(runPendingUiSteps(), 0);

    std::atomic<int> posted{0};
    std::thread a([&] { runOnUiThread([&] { ++posted; }); });
    std::thread b([&] { runOnUiThread([&] { ++posted; }); });
    int runs = 0;
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (posted < 2 && std::chrono::steady_clock::now() < deadline) {
        runs += runPendingUiSteps();
        std::this_thread::sleep_for(1ms);
    }
    a.join();
    b.join();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(runPendingUiSteps(), 0);
}

TEST(UiHandover, WaitRunsStepsButHonoursItsLimit) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(waitRunningUiSteps([] { return false; }, 150ms));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 140ms);
    EXPECT_LT(waited, 1s);

    std::atomic<bool> flag{false};
    std::thread worker([&] {
        runOnUiThread([] {});
        flag = true;
        wakeUiWaiters();
    });
    EXPECT_TRUE(waitRunningUiSteps([&] { return flag.load(); }, 2s));
    worker.join();
}

TEST(WorkerThread, StartsAtOnceStopsOnRequestAndItsWaitServesTheUiThread) {
    std::atomic<int> steps{0};
    WorkerThread thread([&](const WorkerThread& self) {
        while (!self.Terminated()) {
            runOnUiThread([&] { ++steps; }); // would hang in WaitFor if it ran no steps
            std::this_thread::sleep_for(5ms);
        }
    });
    EXPECT_TRUE(pumpUntil([&] { return steps > 0; }, 2s));
    EXPECT_FALSE(thread.Finished());
    thread.Terminate();
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    EXPECT_FALSE(thread.FatalException());
    thread.WaitFor(); // a second wait returns at once
}

TEST(WorkerThread, KeepsWhatEscapesTheBodyAndDestructionStopsIt) {
    WorkerThread failing([](const WorkerThread&) { throw std::logic_error("broken"); });
    failing.WaitFor();
    EXPECT_TRUE(failing.FatalException());

    std::atomic<bool> stopped{false};
    {
        WorkerThread looping([&](const WorkerThread& self) {
            while (!self.Terminated())
                std::this_thread::sleep_for(1ms);
            stopped = true;
        });
    }
    EXPECT_TRUE(stopped);
}

} // namespace
} // namespace tarvik
