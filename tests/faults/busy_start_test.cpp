// Many starts on a processor kept busy, against a modem that trickles its
// replies byte by byte: every reply that came within its time is read, so no
// start reports a failed initialisation.
#include "e2e_support.h"
#include "modem/modem_recovery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarvik::e2e {
namespace {

// A busy loop on every core, for as long as it lives; at a lower priority, so
// the program is slowed and preempted but still starts within the test's time
// under a sanitizer too.
class BusyProcessor {
public:
    BusyProcessor() {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i)
            spinners_.emplace_back([this] {
                ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kNice);
                volatile unsigned long sink = 0;
                while (!stop_.load(std::memory_order_relaxed))
                    sink = sink + 1;
            });
    }
    ~BusyProcessor() {
        stop_ = true;
        for (auto& spinner : spinners_)
            spinner.join();
    }
    BusyProcessor(const BusyProcessor&) = delete;
    BusyProcessor& operator=(const BusyProcessor&) = delete;

private:
    static constexpr int kNice = 10;
    std::atomic<bool> stop_{false};
    std::vector<std::thread> spinners_;
};

TEST(BusyStart, ATricklingModemOnABusyProcessorNeverFailsTheStart) {
    constexpr int kStarts = 10;
    const BusyProcessor busy;
    for (int start = 0; start < kStarts; ++start) {
        SCOPED_TRACE(start);
        Sandbox box;
        Simulator sim(box, {"--trickle", "15ms"});
        Tarvik app(box);
        ASSERT_TRUE(eventually([&box] { return !box.logLines().isEmpty(); }, 60s))
            << describeRun(sim, box, app);
        EXPECT_FALSE(box.logLines().contains(kModemInitErrorLog)) << box.log().toStdString();
        EXPECT_TRUE(box.boxes().isEmpty());
        EXPECT_EQ(sim.count("rx", "ATM2+S64=1"), 1);
        EXPECT_EQ(app.terminate(30s), 0);
    }
}

} // namespace
} // namespace tarvik::e2e
