// Finding and activating windows of real programs on a real X server. The
// binary runs twice: with openbox and with no window manager at all; tests for
// only one of those situations skip themselves in the other.
#include "platform/x11/Activation.h"
#include "platform/x11/WindowSearch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qmpvx::x11 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

template <typename Condition>
bool eventually(Condition done, std::chrono::milliseconds limit = 10s)
{
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// A program of someone else's, ended with the test that started it.
class Process {
public:
    explicit Process(const std::vector<std::string>& arguments)
    {
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        const int failed = posix_spawnp(&pid_, argv[0], &quiet, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&quiet);
        if (failed)
            throw std::runtime_error("cannot start " + arguments[0] + ": " + std::strerror(failed));
    }
    ~Process() { stop(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }

    // The exit status; -1 when it does not end in time.
    int wait(std::chrono::milliseconds limit = 10s)
    {
        int status = 0;
        if (!eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit))
            return -1;
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void stop()
    {
        if (pid_ <= 0)
            return;
        kill(pid_, SIGTERM);
        if (wait(5s) == -1) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
    }

private:
    pid_t pid_ = 0;
};

void xdotool(const std::vector<std::string>& arguments)
{
    std::vector<std::string> command{"xdotool"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    if (Process(command).wait() != 0)
        throw std::runtime_error("xdotool " + arguments.front() + " failed");
}

std::optional<std::uint32_t> cardinal(XConnection& conn, xcb_window_t window, std::string_view property,
                                      xcb_atom_t type = XCB_ATOM_CARDINAL)
{
    const auto items = PropertyRequest(conn, window, conn.atom(property), type, 1).items();
    if (!items || items->empty())
        return std::nullopt;
    return items->front();
}

std::optional<std::string> listedTitle(XConnection& conn, xcb_window_t window)
{
    for (const TitledWindow& candidate : topLevelWindows(conn)) {
        if (candidate.id == window)
            return candidate.title;
    }
    return std::nullopt;
}

// Mapped, as are all its ancestors. A window manager lists a window before
// it shows and focuses it.
bool viewable(XConnection& conn, xcb_window_t window)
{
    xcb_generic_error_t* error = nullptr;
    const auto attributes = replyUnlessGone(
        xcb_get_window_attributes_reply(conn.get(), xcb_get_window_attributes(conn.get(), window), &error), &error);
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

bool listedByWindowManager(XConnection& conn, xcb_window_t window)
{
    const xcb_atom_t clientList = conn.atom("_NET_CLIENT_LIST");
    const auto clients = PropertyRequest(conn, conn.root(), clientList, XCB_ATOM_WINDOW).items();
    return clients && std::ranges::find(*clients, window) != clients->end();
}

// Closed, and forgotten by the window manager. A window manager busy with a
// window closed by one test could move the focus during the next.
void waitUntilGone(XConnection& conn, xcb_window_t window)
{
    eventually([&] {
        xcb_generic_error_t* error = nullptr;
        const auto exists = replyUnlessGone(
            xcb_get_window_attributes_reply(conn.get(), xcb_get_window_attributes(conn.get(), window), &error), &error);
        return !exists && !listedByWindowManager(conn, window);
    });
}

// How the xterm tells its title.
enum class TitleKind {
    Latin1,       // WM_NAME of type STRING
    CompoundText, // WM_NAME of type COMPOUND_TEXT, as Xlib writes it in a UTF-8 locale
    Utf8,         // _NET_WM_NAME, set from a title escape sequence
};

std::vector<std::string> xtermCommand(const std::string& title, TitleKind kind)
{
    const std::string locale = kind == TitleKind::Latin1 ? "LC_ALL=C" : "LC_ALL=C.UTF-8";
    if (kind == TitleKind::Utf8)
        return {"env", locale, "xterm", "-xrm", "XTerm*utf8Title: true", "-e",
                "sh", "-c", "printf '\\033]2;%s\\007' \"$1\"; exec sleep 600", "sh", title};
    return {"env", locale, "xterm", "-T", title, "-e", "sleep", "600"};
}

// A real terminal window, found by its process id once it is on screen with
// `shownTitle`.
class Xterm {
public:
    Xterm(XConnection& conn, const std::string& title, TitleKind kind = TitleKind::Latin1,
          const std::string& shownTitle = {})
        : conn_(conn), process_(xtermCommand(title, kind))
    {
        const std::string& shown = shownTitle.empty() ? title : shownTitle;
        const bool appeared = eventually([&] {
            for (const TitledWindow& candidate : topLevelWindows(conn)) {
                const auto id = static_cast<xcb_window_t>(candidate.id);
                if (candidate.title == shown && cardinal(conn, id, "_NET_WM_PID") == std::uint32_t(process_.pid())) {
                    window = id;
                    return viewable(conn, id);
                }
            }
            return false;
        }, 20s);
        if (!appeared) {
            std::string seen;
            for (const TitledWindow& candidate : topLevelWindows(conn))
                seen += " \"" + candidate.title + "\"";
            throw std::runtime_error("no xterm window titled \"" + shown + "\" appeared; listed:" + seen);
        }
    }

    ~Xterm() { close(); }
    Xterm(const Xterm&) = delete;
    Xterm& operator=(const Xterm&) = delete;

    void close()
    {
        process_.stop();
        waitUntilGone(conn_, window);
    }

    xcb_window_t window = XCB_NONE;

private:
    XConnection& conn_;
    Process process_;
};

struct Property32 {
    std::string_view name;
    std::string_view type;
    std::vector<std::uint32_t> items;
};

// Asked to take the focus (WM_TAKE_FOCUS), a TestWindow:
enum class Answer { TakesFocus, Ignores, Closes };

// A bare window made by the test, on a connection of its own as a program's
// windows would be.
class TestWindow {
public:
    TestWindow(const std::string& title, const std::vector<Property32>& properties, Answer answer = Answer::Ignores)
        : window_(xcb_generate_id(conn_.get())), answer_(answer)
    {
        xcb_connection_t* c = conn_.get();
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, conn_.root(), 0, 0, 300, 200, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(title.size()), title.data());
        for (const Property32& property : properties)
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, conn_.atom(property.name),
                                conn_.atom(property.type), 32, static_cast<std::uint32_t>(property.items.size()),
                                property.items.data());
        xcb_map_window(c, window_);
        conn_.sync();
        client_ = std::jthread([this](std::stop_token stop) { answerRequests(stop); });
    }
    ~TestWindow()
    {
        xcb_destroy_window(conn_.get(), window_);
        waitUntilGone(conn_, window_);
    }

    xcb_window_t window() const { return window_; }
    int focusRequests() const { return focusRequests_; }

private:
    void answerRequests(std::stop_token stop)
    {
        const xcb_atom_t takeFocus = conn_.atom("WM_TAKE_FOCUS");
        while (!stop.stop_requested()) {
            const Reply<xcb_generic_event_t> event(xcb_poll_for_event(conn_.get()));
            if (!event) {
                std::this_thread::sleep_for(5ms);
                continue;
            }
            const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event.get());
            if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE || message->data.data32[0] != takeFocus)
                continue;
            ++focusRequests_;
            if (answer_ == Answer::TakesFocus)
                xcb_set_input_focus(conn_.get(), XCB_INPUT_FOCUS_PARENT, window_, message->data.data32[1]);
            else if (answer_ == Answer::Closes)
                xcb_destroy_window(conn_.get(), window_);
            xcb_flush(conn_.get());
        }
    }

    XConnection conn_;
    const xcb_window_t window_;
    const Answer answer_;
    std::atomic<int> focusRequests_{0};
    std::jthread client_; // last: stops before the rest goes
};

std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(no error)";
}

bool mentions(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class X11 : public ::testing::Test {
protected:
    XConnection conn;
    const bool managed = windowManagerRunning(conn);

    xcb_window_t focus()
    {
        const Reply<xcb_get_input_focus_reply_t> reply(
            xcb_get_input_focus_reply(conn.get(), xcb_get_input_focus(conn.get()), nullptr));
        return reply->focus;
    }

    std::optional<std::uint32_t> activeWindow()
    {
        return cardinal(conn, conn.root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW);
    }

    std::optional<std::uint32_t> icccmState(xcb_window_t window)
    {
        return cardinal(conn, window, "WM_STATE", conn.atom("WM_STATE"));
    }

    // The hints of a client that moves the focus itself when asked to take it
    // (input hint False, WM_TAKE_FOCUS), as Java programs do.
    std::vector<Property32> globallyActive()
    {
        return {{"WM_HINTS", "WM_HINTS", {1 /* input hint given */, 0 /* and False */, 0, 0, 0, 0, 0, 0, 0}},
                {"WM_PROTOCOLS", "ATOM", {conn.atom("WM_TAKE_FOCUS")}}};
    }

    // Stacks `window` above the others, the way each kind of session allows.
    void raiseByHand(xcb_window_t window)
    {
        xdotool({managed ? "windowactivate" : "windowraise", std::to_string(window)});
        const bool raised = eventually([&] {
            const auto listed = topLevelWindows(conn);
            return !listed.empty() && listed.front().id == window;
        });
        ASSERT_TRUE(raised);
    }
};

class WithWindowManager : public X11 {
protected:
    void SetUp() override
    {
        if (!managed)
            GTEST_SKIP() << "needs a window manager";
    }
    void TearDown() override
    {
        if (managed && cardinal(conn, conn.root(), "_NET_CURRENT_DESKTOP").value_or(0) != 0)
            xdotool({"set_desktop", "0"});
    }
};

class WithoutWindowManager : public X11 {
protected:
    void SetUp() override
    {
        if (managed)
            GTEST_SKIP() << "only without a window manager";
    }
};

// --- Which windows are candidates ---

TEST_F(X11, ReadsTitlesInEachEncodingAsUtf8)
{
    Xterm latin1(conn, "Gr\xFC\xDF" "e \xC9" "cran", TitleKind::Latin1, "Grüße Écran");
    Xterm compound(conn, "ΣΟΦΙΑ Привет é", TitleKind::CompoundText);
    Xterm utf8(conn, "日本語 Ωmega", TitleKind::Utf8);
    EXPECT_EQ(listedTitle(conn, latin1.window), "Grüße Écran");
    EXPECT_EQ(listedTitle(conn, compound.window), "ΣΟΦΙΑ Привет é");
    EXPECT_EQ(listedTitle(conn, utf8.window), "日本語 Ωmega");
}

TEST_F(X11, NeverListsWindowsOfThisProcess)
{
    TestWindow own("Own Window Probe", {{"_NET_WM_PID", "CARDINAL", {static_cast<std::uint32_t>(getpid())}}});
    ASSERT_TRUE(eventually([&] { return !managed || listedByWindowManager(conn, own.window()); }));
    Xterm other(conn, "Own Window Probe, but a terminal");

    EXPECT_FALSE(listedTitle(conn, own.window()));
    EXPECT_EQ(activateByTitle(conn, "Own Window Probe"), other.window);
}

// --- Which window a title picks ---

TEST_F(X11, ExactTitleBeatsAPrefixMatchAboveIt)
{
    Xterm exact(conn, "Build");
    Xterm longer(conn, "Build Log");

    EXPECT_EQ(activateByTitle(conn, "Build"), exact.window);
    EXPECT_TRUE(holdsFocus(conn, exact.window));
    EXPECT_EQ(activateByTitle(conn, "Build L"), longer.window);
    EXPECT_TRUE(holdsFocus(conn, longer.window));
}

TEST_F(X11, TopmostWinsAmongEqualTitles)
{
    Xterm first(conn, "Twin");
    Xterm second(conn, "Twin");
    raiseByHand(second.window);
    EXPECT_EQ(activateByTitle(conn, "Twin"), second.window);

    raiseByHand(first.window);
    EXPECT_EQ(activateByTitle(conn, "Twin"), first.window);
    EXPECT_TRUE(holdsFocus(conn, first.window));
}

TEST_F(X11, TitlesMatchIgnoringCaseInEveryScript)
{
    Xterm utf8(conn, "ΣΟΦΙΑ Привет Écran", TitleKind::Utf8);
    Xterm compound(conn, "ΟΔΟΣ Улица", TitleKind::CompoundText);

    EXPECT_EQ(activateByTitle(conn, "σοφια привет écran"), utf8.window);
    EXPECT_EQ(activateByTitle(conn, "οδος улица"), compound.window);
    EXPECT_EQ(activateByTitle(conn, "σοφια"), utf8.window);
}

TEST_F(X11, NoMatchNamesTheTitleAndActivatesNothing)
{
    Xterm open(conn, "Calculator");
    activateByTitle(conn, "Calculator");
    const auto focusBefore = focus();
    const auto activeBefore = activeWindow();

    const std::string error = errorOf([&] { activateByTitle(conn, "Calendar"); });

    EXPECT_TRUE(mentions(error, "\"Calendar\"")) << error;
    EXPECT_TRUE(mentions(error, "title beginning with it")) << error;
    EXPECT_EQ(focus(), focusBefore);
    EXPECT_EQ(activeWindow(), activeBefore);
}

TEST_F(X11, EmptyTitleIsRefusedBeforeLooking)
{
    EXPECT_TRUE(mentions(errorOf([&] { activateByTitle(conn, ""); }), "No target window title is set"));
}

// --- Activation through a window manager ---

TEST_F(WithWindowManager, ActivatesAWindowBelowAnother)
{
    Xterm below(conn, "Below");
    Xterm above(conn, "Above");
    activateByTitle(conn, "Above");

    EXPECT_EQ(activateByTitle(conn, "Below"), below.window);
    EXPECT_EQ(activeWindow(), below.window);
    EXPECT_FALSE(holdsFocus(conn, above.window));
    EXPECT_EQ(topLevelWindows(conn).front().id, below.window);
}

TEST_F(WithWindowManager, RestoresAMinimisedWindow)
{
    Xterm minimised(conn, "Minimised");
    Xterm other(conn, "Other");
    xdotool({"windowminimize", "--sync", std::to_string(minimised.window)});
    ASSERT_TRUE(eventually([&] { return icccmState(minimised.window) == 3u; })); // IconicState

    EXPECT_EQ(activateByTitle(conn, "Minimised"), minimised.window);
    // The window manager may announce the state a moment after giving the focus.
    EXPECT_TRUE(eventually([&] {
        const xcb_atom_t netState = conn.atom("_NET_WM_STATE");
        const auto states = PropertyRequest(conn, minimised.window, netState, XCB_ATOM_ATOM).items();
        return icccmState(minimised.window) == 1u // NormalState
               && states && std::ranges::count(*states, conn.atom("_NET_WM_STATE_HIDDEN")) == 0;
    }));
}

TEST_F(WithWindowManager, SwitchesToTheDesktopOfTheWindow)
{
    if (cardinal(conn, conn.root(), "_NET_NUMBER_OF_DESKTOPS").value_or(1) < 2)
        xdotool({"set_num_desktops", "2"});
    xdotool({"set_desktop", "0"});
    Xterm far(conn, "Far Away");
    Xterm near(conn, "Near By");
    xdotool({"set_desktop_for_window", std::to_string(far.window), "1"});
    ASSERT_TRUE(eventually([&] { return cardinal(conn, far.window, "_NET_WM_DESKTOP") == 1u; }));
    ASSERT_EQ(cardinal(conn, conn.root(), "_NET_CURRENT_DESKTOP"), 0u);

    EXPECT_EQ(activateByTitle(conn, "Far"), far.window);
    EXPECT_EQ(cardinal(conn, conn.root(), "_NET_CURRENT_DESKTOP"), 1u);
    EXPECT_EQ(cardinal(conn, far.window, "_NET_WM_DESKTOP"), 1u); // the desktop came to it, not the reverse
}

// --- Activation without a window manager ---

TEST_F(WithoutWindowManager, RaisesAndFocusesTheWindow)
{
    Xterm below(conn, "Below");
    Xterm above(conn, "Above");

    EXPECT_EQ(activateByTitle(conn, "Below"), below.window);
    EXPECT_EQ(focus(), below.window);
    EXPECT_EQ(topLevelWindows(conn).front().id, below.window);
}

TEST_F(WithoutWindowManager, AsksAGloballyActiveWindowToTakeTheFocus)
{
    TestWindow client("Globally Active", globallyActive(), Answer::TakesFocus);

    EXPECT_EQ(activateByTitle(conn, "Globally Active"), client.window());
    EXPECT_EQ(client.focusRequests(), 1);
    EXPECT_EQ(focus(), client.window());
}

TEST_F(WithoutWindowManager, ReportsAWindowThatNeverTakesTheFocus)
{
    TestWindow client("Unwilling", globallyActive(), Answer::Ignores);
    const auto focusBefore = focus();

    const std::string error = errorOf([&] { activateByTitle(conn, "unwilling", 300ms); });

    EXPECT_TRUE(mentions(error, "Could not bring the window \"Unwilling\" to the foreground")) << error;
    EXPECT_TRUE(mentions(error, "within 300 ms")) << error;
    EXPECT_TRUE(mentions(error, "Nothing was typed.")) << error;
    EXPECT_TRUE(eventually([&] { return client.focusRequests() == 1; }));
    EXPECT_EQ(focus(), focusBefore);
}

TEST_F(WithoutWindowManager, ReportsAWindowThatClosesAtOnce)
{
    TestWindow client("Closing", globallyActive(), Answer::Closes);
    const auto started = Clock::now();

    const std::string error = errorOf([&] { activateByTitle(conn, "Closing", 10s); });

    EXPECT_TRUE(mentions(error, "Could not bring the window \"Closing\" to the foreground: the window closed."))
        << error;
    EXPECT_LT(Clock::now() - started, 5s); // not only when the time is up
}

TEST_F(WithoutWindowManager, PointerRootAndNoneFocusNoWindow)
{
    Xterm open(conn, "Under The Pointer");
    xdotool({"mousemove", "--window", std::to_string(open.window), "10", "10"});
    for (const xcb_window_t nowhere : {xcb_window_t(XCB_INPUT_FOCUS_POINTER_ROOT), xcb_window_t(XCB_NONE)}) {
        xcb_set_input_focus(conn.get(), XCB_INPUT_FOCUS_NONE, nowhere, XCB_CURRENT_TIME);
        conn.sync();
        EXPECT_FALSE(holdsFocus(conn, open.window)) << "focus " << nowhere;
    }
}

// --- The focus check ---

TEST_F(X11, FocusOnAWindowInsideCounts)
{
    Xterm open(conn, "Nested Focus");
    activateByTitle(conn, "Nested Focus");
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(conn.get(), xcb_query_tree(conn.get(), open.window), nullptr));
    ASSERT_GT(xcb_query_tree_children_length(tree.get()), 0);
    const xcb_window_t inner = xcb_query_tree_children(tree.get())[0];

    xcb_set_input_focus(conn.get(), XCB_INPUT_FOCUS_PARENT, inner, conn.serverTime());
    conn.sync();

    ASSERT_EQ(focus(), inner);
    EXPECT_TRUE(holdsFocus(conn, open.window));
}

TEST_F(X11, FocusCheckIsFalseForOtherAndClosedWindows)
{
    Xterm focused(conn, "Focused");
    Xterm other(conn, "Unfocused");
    activateByTitle(conn, "Focused");
    EXPECT_TRUE(holdsFocus(conn, focused.window));
    EXPECT_FALSE(holdsFocus(conn, other.window));

    focused.close();
    EXPECT_TRUE(eventually([&] { return !holdsFocus(conn, focused.window); }));
}

} // namespace
} // namespace qmpvx::x11
