#include "platform/x11/Activation.h"

#include "platform/Termination.h"
#include "platform/TitleMatch.h"
#include "platform/x11/WindowSearch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qmpvx::x11 {
namespace {

using Clock = std::chrono::steady_clock;
using Items = std::vector<std::uint32_t>;

constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr std::uint32_t kOnAllDesktops = 0xFFFFFFFF;
constexpr std::uint32_t kIconicState = 3;
constexpr std::uint32_t kFromPager = 2;
constexpr std::uint32_t kInputHintFlag = 1;
constexpr std::uint8_t kBadWindow = 3;
// Window trees are shallow; this only stops a loop on a tree changing under us.
constexpr int kMaxDepth = 64;

// The target was destroyed while being activated.
struct WindowClosed {};

// A request about the target that the X server refused for another reason.
struct RequestRefused {
    std::string what;
    int errorCode;
};

std::runtime_error notBroughtForward(std::string_view title, std::string_view why)
{
    return std::runtime_error("Could not bring the window " + quotedTitle(title) + " to the foreground: " +
                              std::string(why) + " Nothing was typed.");
}

std::string duration(std::chrono::milliseconds time)
{
    if (time.count() % 1000 == 0)
        return std::to_string(time.count() / 1000) + " s";
    return std::to_string(time.count()) + " ms";
}

Items require(std::optional<Items> items)
{
    if (!items)
        throw WindowClosed{};
    return std::move(*items);
}

bool contains(const Items& items, std::uint32_t item) { return std::ranges::find(items, item) != items.end(); }

void send(XConnection& conn, xcb_void_cookie_t cookie, std::string_view what)
{
    const Reply<xcb_generic_error_t> error(xcb_request_check(conn.get(), cookie));
    if (!error)
        return;
    if (error->error_code == kBadWindow)
        throw WindowClosed{};
    throw RequestRefused{std::string(what), error->error_code};
}

void sendMessage(XConnection& conn, xcb_window_t destination, std::uint32_t eventMask, xcb_window_t about,
                 xcb_atom_t type, const std::array<std::uint32_t, 3>& data)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = about;
    event.type = type;
    std::ranges::copy(data, event.data.data32);
    send(conn,
         xcb_send_event_checked(conn.get(), 0, destination, eventMask, reinterpret_cast<const char*>(&event)),
         "deliver a message about the window");
}

bool exists(XConnection& conn, xcb_window_t window)
{
    xcb_generic_error_t* error = nullptr;
    return replyUnlessGone(
               xcb_get_window_attributes_reply(conn.get(), xcb_get_window_attributes(conn.get(), window), &error),
               &error) != nullptr;
}

std::uint8_t mapState(XConnection& conn, xcb_window_t window)
{
    xcb_generic_error_t* error = nullptr;
    const auto attributes = replyUnlessGone(
        xcb_get_window_attributes_reply(conn.get(), xcb_get_window_attributes(conn.get(), window), &error), &error);
    if (!attributes)
        throw WindowClosed{};
    return attributes->map_state;
}

std::optional<xcb_window_t> activeWindow(XConnection& conn)
{
    const xcb_atom_t property = conn.atom("_NET_ACTIVE_WINDOW");
    const auto active = PropertyRequest(conn, conn.root(), property, XCB_ATOM_WINDOW, 1).items();
    if (!active || active->empty())
        return std::nullopt;
    return active->front();
}

// With a window manager, only it may restore, switch desktops and focus; the
// pager source tells focus-stealing prevention that a user asked for this.
void askWindowManager(XConnection& conn, xcb_window_t window)
{
    const xcb_atom_t wmState = conn.atom("WM_STATE");
    const xcb_atom_t currentDesktop = conn.atom("_NET_CURRENT_DESKTOP");
    PropertyRequest netStates(conn, window, conn.atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
    PropertyRequest icccmState(conn, window, wmState, wmState, 1);
    PropertyRequest windowDesktop(conn, window, conn.atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 1);
    PropertyRequest shownDesktop(conn, conn.root(), currentDesktop, XCB_ATOM_CARDINAL, 1);
    const Items states = require(netStates.items());
    const Items state = require(icccmState.items());
    const Items desktop = require(windowDesktop.items());
    const Items shown = shownDesktop.items().value_or(Items{});

    // Window managers that unmap minimised clients take a map request as the
    // wish to restore; the activation request restores with most others.
    if (contains(states, conn.atom("_NET_WM_STATE_HIDDEN")) || (!state.empty() && state.front() == kIconicState))
        send(conn, xcb_map_window_checked(conn.get(), window), "restore the minimised window");

    const xcb_timestamp_t now = conn.serverTime();
    const std::uint32_t toWindowManager = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    if (!desktop.empty() && desktop.front() != kOnAllDesktops && !shown.empty() && desktop.front() != shown.front())
        sendMessage(conn, conn.root(), toWindowManager, conn.root(), currentDesktop, {desktop.front(), now});
    sendMessage(conn, conn.root(), toWindowManager, window, conn.atom("_NET_ACTIVE_WINDOW"),
                {kFromPager, now, activeWindow(conn).value_or(XCB_NONE)});
}

// Stacking happens among the root's children: a client framed by a window
// manager that does not announce itself is raised through its frame.
xcb_window_t rootChildHolding(XConnection& conn, xcb_window_t window)
{
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        xcb_generic_error_t* error = nullptr;
        const auto tree =
            replyUnlessGone(xcb_query_tree_reply(conn.get(), xcb_query_tree(conn.get(), window), &error), &error);
        if (!tree)
            throw WindowClosed{};
        if (tree->parent == tree->root || tree->parent == XCB_NONE)
            break;
        window = tree->parent;
    }
    return window;
}

void focusWithoutWindowManager(XConnection& conn, xcb_window_t window, Clock::time_point deadline)
{
    const xcb_window_t topLevel = rootChildHolding(conn, window);
    if (mapState(conn, window) != XCB_MAP_STATE_VIEWABLE) {
        send(conn, xcb_map_window_checked(conn.get(), topLevel), "show the window");
        send(conn, xcb_map_window_checked(conn.get(), window), "show the window");
        // Focusing a window that is not viewable yet is an error.
        while (mapState(conn, window) != XCB_MAP_STATE_VIEWABLE) {
            stopIfTerminationRequested("Activating a window stopped, and nothing was typed");
            if (Clock::now() >= deadline)
                return;
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    send(conn, xcb_configure_window_checked(conn.get(), topLevel, XCB_CONFIG_WINDOW_STACK_MODE, &above),
         "raise the window");

    const xcb_atom_t protocols = conn.atom("WM_PROTOCOLS");
    const xcb_atom_t takeFocus = conn.atom("WM_TAKE_FOCUS");
    PropertyRequest hintsRequest(conn, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 2);
    PropertyRequest protocolsRequest(conn, window, protocols, XCB_ATOM_ATOM);
    const Items hints = require(hintsRequest.items());
    const bool declinesFocus = hints.size() == 2 && (hints[0] & kInputHintFlag) && hints[1] == 0;
    const xcb_timestamp_t now = conn.serverTime();
    if (declinesFocus && contains(require(protocolsRequest.items()), takeFocus)) {
        // Such a client puts the focus on whichever of its windows should have it.
        sendMessage(conn, window, XCB_EVENT_MASK_NO_EVENT, window, protocols, {takeFocus, now});
    } else {
        send(conn, xcb_set_input_focus_checked(conn.get(), XCB_INPUT_FOCUS_PARENT, window, now),
             "give the window the keyboard focus");
    }
}

bool focusInside(XConnection& conn, xcb_window_t focus, xcb_window_t topLevel)
{
    // None and PointerRoot: keys go nowhere, or to whatever is under the pointer.
    for (int depth = 0; depth < kMaxDepth && focus != XCB_NONE && focus != XCB_INPUT_FOCUS_POINTER_ROOT; ++depth) {
        if (focus == topLevel)
            return true;
        if (focus == conn.root())
            return false;
        xcb_generic_error_t* error = nullptr;
        const auto tree =
            replyUnlessGone(xcb_query_tree_reply(conn.get(), xcb_query_tree(conn.get(), focus), &error), &error);
        if (!tree)
            return false;
        focus = tree->parent;
    }
    return false;
}

std::string whyNotFocused(XConnection& conn, xcb_window_t window, bool managed, std::chrono::milliseconds timeout)
{
    const std::string within = " within " + duration(timeout);
    if (!managed)
        return "it did not take the keyboard focus" + within + ". Click into the window once and try again.";
    if (activeWindow(conn) != window)
        return "the window manager refused to activate it" + within +
               ". Its focus-stealing prevention may have blocked it: click the window once, or relax that "
               "setting, and try again.";
    return "the window manager made it the active window, but the keyboard focus stayed elsewhere" + within +
           ". Click into the window once and try again.";
}

} // namespace

bool holdsFocus(XConnection& conn, xcb_window_t topLevel)
{
    const bool managed = windowManagerRunning(conn);
    PropertyRequest active(conn, conn.root(), conn.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 1);
    const xcb_get_input_focus_cookie_t focusCookie = xcb_get_input_focus(conn.get());
    const Items activeItems = active.items().value_or(Items{});
    xcb_generic_error_t* error = nullptr;
    const auto focus = replyUnlessGone(xcb_get_input_focus_reply(conn.get(), focusCookie, &error), &error);
    if (!focus)
        return false;
    if (managed && (activeItems.empty() || activeItems.front() != topLevel))
        return false;
    return focusInside(conn, focus->focus, topLevel);
}

xcb_window_t activateByTitle(XConnection& conn, std::string_view title, std::chrono::milliseconds timeout)
{
    if (title.empty())
        throw std::runtime_error("No target window title is set. Enter the title of the window to type into, "
                                 "or the beginning of it.");
    const Clock::time_point deadline = Clock::now() + timeout;
    const std::vector<TitledWindow> candidates = topLevelWindows(conn);
    const std::optional<std::size_t> found = findByTitle(candidates, title);
    if (!found)
        throw std::runtime_error("No window with the title " + quotedTitle(title) +
                                 " or a title beginning with it is open. Open that window first, or check the "
                                 "title for typing mistakes. Nothing was typed.");
    const auto window = static_cast<xcb_window_t>(candidates[*found].id);
    const std::string& shownTitle = candidates[*found].title;
    // Asking anyway would return before the window manager handled the
    // request, which could then move the focus while keys are being typed.
    if (holdsFocus(conn, window))
        return window;

    const bool managed = windowManagerRunning(conn);
    try {
        if (managed)
            askWindowManager(conn, window);
        else
            focusWithoutWindowManager(conn, window, deadline);
    } catch (const WindowClosed&) {
        throw notBroughtForward(shownTitle, "the window closed.");
    } catch (const RequestRefused& refused) {
        if (!exists(conn, window))
            throw notBroughtForward(shownTitle, "the window closed.");
        throw notBroughtForward(shownTitle, "the X server refused to " + refused.what + " (X error " +
                                                std::to_string(refused.errorCode) + "). Try again.");
    }
    for (;;) {
        if (holdsFocus(conn, window))
            return window;
        if (!exists(conn, window))
            throw notBroughtForward(shownTitle, "the window closed.");
        stopIfTerminationRequested("Activating " + quotedTitle(shownTitle) + " stopped, and nothing was typed");
        if (Clock::now() >= deadline)
            throw notBroughtForward(shownTitle, whyNotFocused(conn, window, managed, timeout));
        std::this_thread::sleep_for(kPollInterval);
    }
}

} // namespace qmpvx::x11
