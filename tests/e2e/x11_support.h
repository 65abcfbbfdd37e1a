#pragma once
// A private X server (Xvfb) for runs that need real keyboard and mouse input.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

namespace tarvik::e2e {

class XServer {
public:
    XServer();
    ~XServer();
    bool started() const { return !display_.isEmpty(); }
    QString display() const { return display_; }
    // Runs xdotool on this display; returns its standard output, trimmed.
    QString xdotool(const QStringList& args) const;
    // The first visible window whose title matches the pattern, or "".
    QString findWindow(const QString& titlePattern, int timeoutMs = 10000) const;

private:
    QProcess xvfb_;
    QString display_;
};

} // namespace tarvik::e2e
