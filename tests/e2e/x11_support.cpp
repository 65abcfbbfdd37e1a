#include "x11_support.h"

#include "e2e_support.h"

#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace tarvik::e2e {

XServer::XServer() {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty()) return;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    // Xvfb names a free display on the descriptor it is given.
    xvfb_.setChildProcessModifier([fd = fds[1]] { dup2(fd, 3); });
    xvfb_.start("Xvfb", {"-displayfd", "3", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
    ::close(fds[1]);
    QByteArray number;
    char c;
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    eventually(
        [&] {
            while (::read(fds[0], &c, 1) == 1) {
                if (c == '\n') return true;
                number += c;
            }
            return false;
        },
        10s);
    ::close(fds[0]);
    if (!number.isEmpty()) display_ = ":" + QString::fromLatin1(number);
}

XServer::~XServer() {
    xvfb_.terminate();
    if (!xvfb_.waitForFinished(3000)) xvfb_.kill();
    xvfb_.waitForFinished(1000);
}

QProcessEnvironment XServer::clientEnvironment() const {
    QProcessEnvironment env;
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", display_);
    return env;
}

QString XServer::xdotool(const QStringList& args) const {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    tool.setProcessEnvironment(env);
    tool.start("xdotool", args);
    tool.waitForFinished(10000);
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

QString XServer::findWindow(const QString& titlePattern, int timeoutMs) const {
    QString id;
    eventually(
        [&] {
            id = xdotool({"search", "--onlyvisible", "--name", titlePattern}).section('\n', 0, 0);
            return !id.isEmpty();
        },
        milliseconds(timeoutMs));
    return id;
}

} // namespace tarvik::e2e
