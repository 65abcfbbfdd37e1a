#pragma once
// A real window manager (openbox) on a private X server, and what it reads from
// the program's windows: their titles and their stacking order.
#include "x11_support.h"

#include <QMargins>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tarvik::e2e {

// openbox with a configuration of its own (no autostart, no session manager),
// started on the server and running until destroyed. started() once it has set
// _NET_SUPPORTING_WM_CHECK on the root window, that is, once it manages windows.
class WindowManager {
public:
    explicit WindowManager(const XServer& x);
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;
    bool started() const { return started_; }

private:
    bool start(const XServer& x, const QString& rc);
    void stop();

    QTemporaryDir home_;
    QProcess openbox_;
    bool started_ = false;
};

// The window's _NET_WM_NAME, the title a window manager shows; "" when unset.
QString netWmName(const XServer& x, const QString& window);
// The window this one is transient for (WM_TRANSIENT_FOR), as a hex id; "" for none.
QString transientFor(const XServer& x, const QString& window);

// The frame the window manager put around the window (_NET_FRAME_EXTENTS):
// its left, top, right and bottom widths; none without a window manager.
QMargins frameExtents(const XServer& x, const QString& window);

// The managed windows in the window manager's stacking order, bottom to top
// (_NET_CLIENT_LIST_STACKING), as hexadecimal ids ("0x400007").
QStringList clientStacking(const XServer& x);

} // namespace tarvik::e2e
