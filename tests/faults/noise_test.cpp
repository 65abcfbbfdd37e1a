// The modem sends random bytes as fast as the port takes them: binary noise, runs of
// NULs, 1000-byte lines without LF, lone CRs. The program keeps running with flat
// memory, answers nothing the noise holds, and answers the next real call.
#include "fault_support.h"

#include <gtest/gtest.h>

namespace tarvik::e2e {
namespace {

TEST(ModemNoise, MemoryStaysFlatAndTheNextCallIsAnsweredAndLogged) {
    Sandbox box;
    Simulator sim(box, {"--rings", "1"});
    Tarvik app(box);
    ASSERT_EQ(sim.waitFor("rx", "ATM2+S64=1").kind, "rx");
    ASSERT_TRUE(eventually([&box] { return box.logLines().size() == 1; }));

    const NoiseFigures noise = noiseThenCall(box, sim, app, 30);
    EXPECT_GT(noise.bytesSent, 100'000) << "the port took the noise at speed";
    ASSERT_TRUE(noise.survived);
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer holds freed memory back for a while; its own leak check counts there.
    EXPECT_LT(noise.rssMaxKiB - noise.rssAfterWarmUpKiB, 1024);
    EXPECT_LT(noise.rssAfterKiB - noise.rssAfterWarmUpKiB, 1024);
#endif
    EXPECT_EQ(sim.count("rx", "AT+SR"), 1) << "only the real call was answered";
    EXPECT_TRUE(noise.answeredAfter);
    EXPECT_EQ(noise.loggedAfter, "CallerID: 55512343");
    EXPECT_EQ(app.terminate(), 0);
}

} // namespace
} // namespace tarvik::e2e
