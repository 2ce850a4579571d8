#include "platform/x11/XConnection.h"

#include <poll.h>

#include <cstring>

namespace qmpvx::x11 {

namespace {

std::string whyNoSession(const char* displayName)
{
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool hasDisplay = displayName ? *displayName : (std::getenv("DISPLAY") && *std::getenv("DISPLAY"));
    std::string message = "Typing into other windows needs an X11 session";
    if (!hasDisplay)
        message += " (DISPLAY is not set)";
    else
        message += " (the X server named by DISPLAY cannot be reached)";
    message += ".";
    if (wayland && *wayland)
        message += " This is a Wayland session: only windows of X11 programs running under XWayland can be "
                   "reached, and XWayland is not available.";
    return message;
}

} // namespace

XConnection::XConnection() : XConnection(nullptr) {}

XConnection::XConnection(const char* displayName)
{
    int screenNumber = 0;
    connection_ = xcb_connect(displayName, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        throw NoX11Session(whyNoSession(displayName));
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    screen_ = screens.data;
    if (!screen_) {
        xcb_disconnect(connection_);
        throw NoX11Session("The X server has no screen " + std::to_string(screenNumber) + ".");
    }
}

XConnection::~XConnection()
{
    if (timeWindow_ != XCB_NONE)
        xcb_destroy_window(connection_, timeWindow_);
    xcb_disconnect(connection_);
}

xcb_atom_t XConnection::atom(std::string_view name)
{
    const auto found = atoms_.find(name);
    if (found != atoms_.end())
        return found->second;
    xcb_generic_error_t* error = nullptr;
    const auto reply = check(xcb_intern_atom_reply(connection_,
                                                   xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()),
                                                                   name.data()),
                                                   &error),
                             &error, "intern an atom");
    atoms_.emplace(std::string(name), reply->atom);
    return reply->atom;
}

void XConnection::sync()
{
    Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    if (!reply || xcb_connection_has_error(connection_))
        throw NoX11Session("The connection to the X server was lost.");
}

xcb_timestamp_t XConnection::serverTime()
{
    if (timeWindow_ == XCB_NONE) {
        timeWindow_ = xcb_generate_id(connection_);
        const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, timeWindow_, root(), -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    }
    const xcb_atom_t property = atom("_QM_PVX_TIMESTAMP");
    xcb_change_property(connection_, XCB_PROP_MODE_APPEND, timeWindow_, property, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(connection_);
    while (Reply<xcb_generic_event_t> event{xcb_wait_for_event(connection_)}) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
            if (notify->window == timeWindow_ && notify->atom == property)
                return notify->time;
        }
        handle(*event);
    }
    throw NoX11Session("The connection to the X server was lost.");
}

void XConnection::handle(const xcb_generic_event_t& event)
{
    if (onEvent_)
        onEvent_(event);
}

void XConnection::dispatchEvents()
{
    while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(connection_)})
        handle(*event);
    if (xcb_connection_has_error(connection_))
        throw NoX11Session("The connection to the X server was lost.");
}

void XConnection::dispatchEventsWithin(std::chrono::milliseconds timeout)
{
    // Events read along with earlier replies wait in xcb's queue, not on the socket.
    if (Reply<xcb_generic_event_t> queued{xcb_poll_for_queued_event(connection_)}) {
        handle(*queued);
    } else {
        pollfd socket{xcb_get_file_descriptor(connection_), POLLIN, 0};
        poll(&socket, 1, static_cast<int>(timeout.count()));
    }
    dispatchEvents();
}

void XConnection::check(xcb_void_cookie_t cookie, std::string_view what)
{
    if (Reply<xcb_generic_error_t> error{xcb_request_check(connection_, cookie)})
        throwError(error.get(), what);
}

void XConnection::throwError(const xcb_generic_error_t* error, std::string_view what)
{
    if (!error)
        throw NoX11Session("The connection to the X server was lost while trying to " + std::string(what) + ".");
    throw std::runtime_error("The X server refused to " + std::string(what) + " (X error " +
                             std::to_string(error->error_code) + ").");
}

} // namespace qmpvx::x11
