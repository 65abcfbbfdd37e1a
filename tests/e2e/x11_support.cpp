#include "x11_support.h"

#include "e2e_support.h"

#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace tarvik::e2e {

QProcessEnvironment displayEnvironment(const QString& display) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    // xprop prints a title's UTF-8 as it is, not as octal escapes.
    env.insert("LC_ALL", "C.UTF-8");
    return env;
}

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
    return QString::fromUtf8(runOnDisplay(*this, "xdotool", args)).trimmed();
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

QByteArray runOnDisplay(const XServer& x, const QString& program, const QStringList& args) {
    QProcess tool;
    tool.setProcessEnvironment(displayEnvironment(x.display()));
    tool.start(program, args);
    if (!tool.waitForFinished(15000)) {
        tool.kill();
        tool.waitForFinished(1000);
        return {};
    }
    return tool.readAllStandardOutput();
}

QString hexId(const QString& window) {
    bool ok = false;
    const qulonglong id = window.trimmed().toULongLong(&ok, 0);
    return ok ? QStringLiteral("0x%1").arg(id, 0, 16) : QString();
}

} // namespace tarvik::e2e
