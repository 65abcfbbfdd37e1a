#pragma once
// A private X server (Xvfb) for runs that need real keyboard and mouse input.
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

namespace tarvik::e2e {

// The main window's title as a pattern for findWindow.
inline const QString kMainWindowTitle = QStringLiteral("^TARVIK \\[Courier TREVA 2\\.51\\+\\]$");

class XServer {
public:
    XServer();
    ~XServer();
    bool started() const { return !display_.isEmpty(); }
    QString display() const { return display_; }
    // What a program needs to run on this server (xcb platform, DISPLAY).
    QProcessEnvironment clientEnvironment() const;
    // Runs xdotool on this display; returns its standard output, trimmed.
    QString xdotool(const QStringList& args) const;
    // The first visible window whose title matches the pattern, or "".
    QString findWindow(const QString& titlePattern, int timeoutMs = 10000) const;

private:
    QProcess xvfb_;
    QString display_;
};

// The system's environment with DISPLAY set, for the X clients run on a server.
QProcessEnvironment displayEnvironment(const QString& display);

// Runs an X client (xwininfo, xprop, import, ...) on the server; its standard output.
QByteArray runOnDisplay(const XServer& x, const QString& program, const QStringList& args);

// A window id as xwininfo and xprop print it; xdotool prints ids in decimal.
QString hexId(const QString& window);

} // namespace tarvik::e2e
