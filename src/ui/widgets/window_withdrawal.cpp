#include "ui/widgets/window_withdrawal.h"

#include <QGuiApplication>
#include <QWidget>
#include <memory>
#include <xcb/xcb.h>

namespace tarvik {

namespace {

// ICCCM's WM_STATE values.
constexpr quint32 kWithdrawnState = 0;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class Reply> using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

xcb_atom_t wmStateAtom(xcb_connection_t* connection) {
    static const xcb_atom_t atom = [connection] {
        const char name[] = "WM_STATE";
        ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }();
    return atom;
}

} // namespace

bool windowManagerLetGo(const QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || !window.internalWinId()) return true;
    const xcb_atom_t atom = wmStateAtom(connection);
    if (atom == XCB_ATOM_NONE) return true;
    ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(window.internalWinId()), atom,
                         atom, 0, 1),
        nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) < 4) return true;
    const auto* state = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    return *state == kWithdrawnState;
}

} // namespace tarvik
