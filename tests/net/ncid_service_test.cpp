// The server on its own thread, told from this one: what is told comes in order,
// and the service ends cleanly with a client still connected.
#include "net_test_support.h"

#include "net/ncid_service.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvik {
namespace {

TEST(NcidService, ReportsFromThisThreadReachClientsInOrderAndItEndsCleanly) {
    QTemporaryDir dir;
    NcidServer::Setup setup;
    setup.settings.Port = 0;
    setup.logSource = {dir.filePath("none.log"), 7};
    auto service = std::make_unique<NcidService>(setup);
    QString error;
    ASSERT_TRUE(service->listen(error)) << error.toStdString();
    Client client(service->port());
    ASSERT_TRUE(spinUntil([&] { return client.has("300 End of connection startup"); }));

    for (int call = 1; call <= 20; ++call) {
        service->ringCounted(1);
        service->callerIdentified(QByteArray::number(call), "NAME");
        service->answered();
    }
    service->dialing("555");
    ASSERT_TRUE(spinUntil([&] { return client.lines().last().startsWith("OUT:"); }));
    const QList<QByteArray> lines = client.lines().mid(4);
    ASSERT_EQ(lines.size(), 61);
    for (int call = 1; call <= 20; ++call) {
        const QList<QByteArray> three = lines.mid(3 * (call - 1), 3);
        EXPECT_TRUE(three[0].contains("*RING*1*"));
        EXPECT_TRUE(three[1].contains("*NMBR*" + QByteArray::number(call) + "*")) << call;
        EXPECT_TRUE(three[2].contains("*RING*0*"));
    }
    service.reset();
    EXPECT_TRUE(spinUntil([&] { return client.closed(); }));
}

} // namespace
} // namespace tarvik
