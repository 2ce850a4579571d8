#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qmpvx::x11 {

// xcb hands out replies and errors allocated with malloc.
struct FreeDeleter {
    void operator()(void* pointer) const noexcept { std::free(pointer); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// No X server to talk to, or it went away.
class NoX11Session : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program's own connection to the X server, used for finding, activating
// and typing into other windows. xcb reports errors per request instead of
// ending the process, so a target that closes mid-run is an ordinary error.
class XConnection {
public:
    // Opens DISPLAY; throws NoX11Session with a message a user can act on.
    XConnection();
    explicit XConnection(const char* displayName);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_window_t root() const { return screen_->root; }
    xcb_screen_t* screen() const { return screen_; }

    // Interned once per connection.
    xcb_atom_t atom(std::string_view name);

    // A round trip: every request sent so far has been handled by the server.
    void sync();

    // A current server timestamp, from a zero-length property change on a
    // window of this connection's own.
    xcb_timestamp_t serverTime();

    // Every event this connection reads goes to the handler, wherever it is
    // read: answers to questions the program asked may come in any wait.
    void onEvent(std::function<void(const xcb_generic_event_t&)> handler) { onEvent_ = std::move(handler); }
    // Hands every event that has arrived to the handler, without waiting.
    void dispatchEvents();
    // Waits at most `timeout` for an event, then hands over all that arrived.
    void dispatchEventsWithin(std::chrono::milliseconds timeout);

    // The reply, or throws with `what` and the X error code. The error is
    // taken by address: it is filled in by the reply call in the same expression.
    template <typename T>
    static Reply<T> check(T* reply, xcb_generic_error_t** error, std::string_view what)
    {
        Reply<xcb_generic_error_t> ownedError(*error);
        if (!reply)
            throwError(ownedError.get(), what);
        return Reply<T>(reply);
    }
    // For checked requests without a reply.
    void check(xcb_void_cookie_t cookie, std::string_view what);

    [[noreturn]] static void throwError(const xcb_generic_error_t* error, std::string_view what);

private:
    void handle(const xcb_generic_event_t& event);

    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t timeWindow_ = XCB_NONE;
    std::map<std::string, xcb_atom_t, std::less<>> atoms_;
    std::function<void(const xcb_generic_event_t&)> onEvent_;
};

} // namespace qmpvx::x11
