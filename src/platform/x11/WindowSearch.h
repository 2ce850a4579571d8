#pragma once

#include "platform/TitleMatch.h"
#include "platform/x11/XConnection.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace qmpvx::x11 {

// The windows a title can name, topmost first, with their titles in UTF-8.
// Managed windows when a window manager announces itself (minimised ones and
// those on other desktops included); otherwise the viewable top-level windows.
// Windows of this process and windows without a title are left out.
std::vector<TitledWindow> topLevelWindows(XConnection& conn);

// A window manager runs and announces itself the EWMH way. A stale
// announcement left behind by one that has exited does not count.
bool windowManagerRunning(XConnection& conn);

// The reply, or null when the request failed, as it does once its window is
// gone. Takes the error by address: an argument read before the reply call
// could miss it. Throws NoX11Session when the connection is gone.
template <typename T>
Reply<T> replyUnlessGone(T* reply, xcb_generic_error_t** error)
{
    const Reply<xcb_generic_error_t> ownedError(*error);
    if (!reply && !ownedError)
        XConnection::throwError(nullptr, "read the state of a window");
    return Reply<T>(reply);
}

// A property read sent at once and collected later, so that several reads
// share one round trip.
class PropertyRequest {
public:
    static constexpr std::uint32_t kMaxItems = 1 << 16;

    PropertyRequest(XConnection& conn, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                    std::uint32_t maxItems = kMaxItems);
    ~PropertyRequest();
    PropertyRequest(const PropertyRequest&) = delete;
    PropertyRequest& operator=(const PropertyRequest&) = delete;

    // The raw reply; null when the window no longer exists. Throws
    // NoX11Session when the connection is gone.
    Reply<xcb_get_property_reply_t> take();

    // The 32-bit items (windows, atoms, cardinals): empty when the property is
    // unset or of another type; nullopt when the window no longer exists.
    std::optional<std::vector<std::uint32_t>> items();

private:
    XConnection& conn_;
    xcb_get_property_cookie_t cookie_;
    xcb_atom_t type_;
    bool taken_ = false;
};

} // namespace qmpvx::x11
