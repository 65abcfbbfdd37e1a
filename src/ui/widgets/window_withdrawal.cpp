#include "ui/widgets/window_withdrawal.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace tarvik {

namespace {

// ICCCM's WM_STATE values.
constexpr quint32 kWithdrawnState = 0;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class Reply> using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_connection_t* x11Connection(const QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 && window.internalWinId() ? x11->connection() : nullptr;
}

// The window's property as 32-bit values; empty when it has none.
std::vector<quint32> windowProperty(xcb_connection_t* connection, const QWidget& window,
                                    xcb_atom_t property, xcb_atom_t type) {
    ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(window.internalWinId()), property,
                         type, 0, 32),
        nullptr));
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

} // namespace

bool windowManagerLetGo(const QWidget& window) {
    xcb_connection_t* connection = x11Connection(window);
    if (!connection) return true;
    static const xcb_atom_t wmState = internAtom(connection, "WM_STATE");
    if (wmState == XCB_ATOM_NONE) return true;
    const std::vector<quint32> state = windowProperty(connection, window, wmState, wmState);
    return state.empty() || state.front() == kWithdrawnState;
}

void keepAbove(const QWidget& window) {
    xcb_connection_t* connection = x11Connection(window);
    if (!connection) return;
    static const xcb_atom_t netWmState = internAtom(connection, "_NET_WM_STATE");
    static const xcb_atom_t above = internAtom(connection, "_NET_WM_STATE_ABOVE");
    if (netWmState == XCB_ATOM_NONE || above == XCB_ATOM_NONE) return;
    const std::vector<quint32> state =
        windowProperty(connection, window, netWmState, XCB_ATOM_ATOM);
    if (std::find(state.begin(), state.end(), above) != state.end()) return;
    // A mapped window asks the manager, through the root window, for a state.
    constexpr quint32 kAdd = 1, kFromApplication = 1;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = static_cast<xcb_window_t>(window.internalWinId());
    message.type = netWmState;
    message.data.data32[0] = kAdd;
    message.data.data32[1] = above;
    message.data.data32[3] = kFromApplication;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

} // namespace tarvik
