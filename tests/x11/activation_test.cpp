// Finding and activating windows of real programs on a real X server. The
// binary runs twice: with openbox and with no window manager at all; tests for
// only one of those situations skip themselves in the other.
#include "platform/x11/Activation.h"
#include "platform/x11/WindowSearch.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qmpvx::x11 {
namespace {

using namespace std::chrono_literals;

template <typename Condition>
bool eventually(Condition done, std::chrono::milliseconds limit = 10s)
{
    for (const auto deadline = std::chrono::steady_clock::now() + limit; !done(); std::this_thread::sleep_for(20ms)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
    return true;
}

bool xdotool(const std::string& arguments)
{
    return std::system(("xdotool " + arguments).c_str()) == 0;
}

std::optional<std::uint32_t> cardinal(XConnection& conn, xcb_window_t window, std::string_view property,
                                      xcb_atom_t type = XCB_ATOM_CARDINAL)
{
    const auto items = PropertyRequest(conn, window, conn.atom(property), type, 1).items();
    return items && !items->empty() ? std::optional(items->front()) : std::nullopt;
}

// nullopt once the window is gone.
std::optional<std::uint8_t> mapState(XConnection& conn, xcb_window_t window)
{
    xcb_generic_error_t* error = nullptr;
    const auto attributes = replyUnlessGone(
        xcb_get_window_attributes_reply(conn.get(), xcb_get_window_attributes(conn.get(), window), &error), &error);
    return attributes ? std::optional(attributes->map_state) : std::nullopt;
}

// How the xterm tells its title: WM_NAME as STRING, WM_NAME as COMPOUND_TEXT
// (Xlib's choice in a UTF-8 locale), or _NET_WM_NAME set by an escape sequence.
enum class Kind { Latin1, CompoundText, Utf8 };

// A real terminal window, found by its process id (titles repeat) once it is
// on screen and listed under `shown`, or `title` when that is not given.
struct Xterm {
    Xterm(XConnection& connection, const std::string& title, Kind kind = Kind::Latin1, const std::string& shown = {})
        : conn(connection)
    {
        const char* locale = kind == Kind::Latin1 ? "LC_ALL=C" : "LC_ALL=C.UTF-8";
        std::vector<const char*> argv{"env", locale, "xterm", "-T", title.c_str(), "-e", "sleep", "600", nullptr};
        if (kind == Kind::Utf8)
            argv = {"env", locale, "xterm", "-xrm", "XTerm*utf8Title: true", "-e", "sh", "-c",
                    "printf '\\033]2;%s\\007' \"$1\"; exec sleep 600", "sh", title.c_str(), nullptr};
        if (posix_spawnp(&pid, "env", nullptr, nullptr, const_cast<char* const*>(argv.data()), environ) != 0)
            throw std::runtime_error("cannot start xterm");
        const std::string& expected = shown.empty() ? title : shown;
        const bool appeared = eventually([&] {
            for (const TitledWindow& candidate : topLevelWindows(conn)) {
                const auto id = static_cast<xcb_window_t>(candidate.id);
                if (candidate.title == expected && cardinal(conn, id, "_NET_WM_PID") == std::uint32_t(pid)) {
                    window = id;
                    return mapState(conn, id) == XCB_MAP_STATE_VIEWABLE;
                }
            }
            return false;
        }, 20s);
        if (!appeared) {
            close();
            throw std::runtime_error("no xterm window listed as \"" + expected + "\" appeared");
        }
    }
    ~Xterm() { close(); }

    // Also waits until the window manager has forgotten the window: one still
    // busy with it could move the focus during the next test.
    void close()
    {
        if (pid == 0)
            return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = 0;
        eventually([&] {
            const auto clients =
                PropertyRequest(conn, conn.root(), conn.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW).items();
            return !mapState(conn, window) && std::ranges::count(*clients, window) == 0;
        });
    }

    XConnection& conn;
    pid_t pid = 0;
    xcb_window_t window = XCB_NONE;
};

class X11 : public ::testing::Test {
protected:
    xcb_window_t focus()
    {
        const auto cookie = xcb_get_input_focus(conn.get());
        return Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(conn.get(), cookie, nullptr))->focus;
    }

    std::optional<std::uint32_t> activeWindow()
    {
        return cardinal(conn, conn.root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
    }

    XConnection conn;
    const bool managed = windowManagerRunning(conn);
};

// Each xterm is found only once it is listed under the expected title.
TEST_F(X11, ReadsTitlesInEachEncodingAsUtf8)
{
    const struct { std::string title; Kind kind; std::string shown; } cases[] = {
        {"Gr\xFC\xDF" "e \xC9" "cran", Kind::Latin1, "Grüße Écran"},
        {"ΣΟΦΙΑ Привет é", Kind::CompoundText, "ΣΟΦΙΑ Привет é"},
        {"日本語 Ωmega", Kind::Utf8, "日本語 Ωmega"},
    };
    for (const auto& [title, kind, shown] : cases)
        EXPECT_NO_THROW(Xterm(conn, title, kind, shown)) << shown;
}

TEST_F(X11, PicksTheExactTitleOverPrefixMatchesIgnoringCaseButNeverOwnWindows)
{
    Xterm exact(conn, "Build");
    Xterm longer(conn, "Build Log");
    Xterm greek(conn, "ΣΟΦΙΑ Привет Écran", Kind::Utf8);
    Xterm own(conn, "Build");
    // Windows are told apart by the process id they carry: pass the topmost
    // "Build" off as a window of this process.
    const auto pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(conn.get(), XCB_PROP_MODE_REPLACE, own.window, conn.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL,
                        32, 1, &pid);
    conn.sync();

    EXPECT_EQ(std::ranges::count(topLevelWindows(conn), std::uint64_t(own.window), &TitledWindow::id), 0);
    const std::pair<std::string_view, const Xterm&> cases[] = {
        {"build", exact}, {"Build L", longer}, {"σοφια привет écran", greek}};
    for (const auto& [typed, expected] : cases) {
        EXPECT_EQ(activateByTitle(conn, typed), expected.window) << typed;
        EXPECT_TRUE(holdsFocus(conn, expected.window)) << typed;
    }
}

TEST_F(X11, TopmostWinsAmongEqualTitles)
{
    Xterm first(conn, "Twin");
    Xterm second(conn, "Twin");
    for (const Xterm* twin : {&second, &first}) {
        ASSERT_TRUE(xdotool((managed ? "windowactivate " : "windowraise ") + std::to_string(twin->window)));
        ASSERT_TRUE(eventually([&] { return topLevelWindows(conn).front().id == twin->window; }));
        EXPECT_EQ(activateByTitle(conn, "Twin"), twin->window);
    }
}

TEST_F(X11, RefusesAnEmptyOrUnmatchedTitleAndChangesNothing)
{
    Xterm open(conn, "Calculator");
    activateByTitle(conn, "Calculator");
    const auto before = std::pair(focus(), activeWindow());
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"", "No target window title is set"}, {"Calendar", "\"Calendar\" or a title beginning with it"}};
    for (const auto& [title, message] : cases) {
        try {
            activateByTitle(conn, title);
            ADD_FAILURE() << "activated \"" << title << '"';
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string_view(error.what()).find(message), std::string_view::npos) << error.what();
        }
        EXPECT_EQ(std::pair(focus(), activeWindow()), before);
    }
}

TEST_F(X11, RaisesAndFocusesAWindowBelowAnotherUntilItCloses)
{
    Xterm below(conn, "Below");
    Xterm above(conn, "Above");
    activateByTitle(conn, "Above");

    EXPECT_EQ(activateByTitle(conn, "Below"), below.window);
    EXPECT_EQ(focus(), below.window);
    EXPECT_EQ(topLevelWindows(conn).front().id, below.window);
    EXPECT_EQ(activeWindow(), managed ? std::optional(below.window) : std::nullopt);
    EXPECT_FALSE(holdsFocus(conn, above.window));

    // Keys typed into a window inside it reach it too.
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(conn.get(), xcb_query_tree(conn.get(), below.window), nullptr));
    ASSERT_GT(xcb_query_tree_children_length(tree.get()), 0);
    const xcb_window_t child = xcb_query_tree_children(tree.get())[0];
    xcb_set_input_focus(conn.get(), XCB_INPUT_FOCUS_PARENT, child, conn.serverTime());
    conn.sync();
    ASSERT_EQ(focus(), child);
    EXPECT_TRUE(holdsFocus(conn, below.window));

    below.close();
    EXPECT_TRUE(eventually([&] { return !holdsFocus(conn, below.window); }));
}

TEST_F(X11, WithWindowManagerRestoresMinimisedWindowsAndSwitchesDesktops)
{
    if (!managed)
        GTEST_SKIP() << "needs a window manager";
    Xterm minimised(conn, "Minimised");
    Xterm far(conn, "Far Away");
    const auto state = [&] { return cardinal(conn, minimised.window, "WM_STATE", conn.atom("WM_STATE")); };
    ASSERT_TRUE(xdotool("set_num_desktops 2 windowminimize --sync " + std::to_string(minimised.window) +
                        " set_desktop_for_window " + std::to_string(far.window) + " 1"));
    // WM_STATE 3: IconicState.
    ASSERT_TRUE(eventually([&] { return state() == 3u && cardinal(conn, far.window, "_NET_WM_DESKTOP") == 1u; }));

    EXPECT_EQ(activateByTitle(conn, "Minimised"), minimised.window);
    // The window manager may announce the state a moment after giving the focus.
    EXPECT_TRUE(eventually([&] { return state() == 1u; })); // NormalState
    EXPECT_EQ(activateByTitle(conn, "Far"), far.window);
    EXPECT_EQ(cardinal(conn, conn.root(), "_NET_CURRENT_DESKTOP"), 1u);
    EXPECT_EQ(cardinal(conn, far.window, "_NET_WM_DESKTOP"), 1u); // the desktop came to it, not the reverse
    EXPECT_TRUE(xdotool("set_desktop 0"));
}

} // namespace
} // namespace qmpvx::x11
