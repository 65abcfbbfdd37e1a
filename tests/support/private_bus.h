#pragma once
// A session bus of the test's own (dbus-daemon), so that nothing of the
// desktop the tests run on answers, and nothing of the tests reaches it.
#include <QProcess>
#include <QString>

namespace tarvik::testing {

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // The bus's address; empty when dbus-daemon is missing or did not start.
    QString address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

} // namespace tarvik::testing
