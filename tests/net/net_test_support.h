#pragma once
// The NCID server's tests in one process: the event loop run until a condition
// holds, and a plain socket as a client.
#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QTcpSocket>

#include <functional>

namespace tarvik {

// Runs the event loop until the condition holds or the time is up.
inline bool spinUntil(const std::function<bool()>& condition, int ms = 3000) {
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class Client {
public:
    // `from` is a loopback address of the 127/8 range: each is another client machine.
    explicit Client(quint16 port, const char* from = "127.0.0.1") {
        socket.bind(QHostAddress(QString::fromLatin1(from)));
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    // The lines received so far, without their CR LF.
    QList<QByteArray> lines() {
        received += socket.readAll();
        QList<QByteArray> all = received.split('\n');
        all.removeLast();
        for (QByteArray& line : all)
            line.chop(1);
        return all;
    }
    bool has(const QByteArray& line) { return lines().contains(line); }
    bool closed() {
        lines();
        return socket.state() == QAbstractSocket::UnconnectedState;
    }
    QTcpSocket socket;
    QByteArray received;
};

} // namespace tarvik
