#pragma once
// A private X server (Xvfb) for runs that need real keyboard and mouse input.
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

} // namespace tarvik::e2e
