// The real QM-PVX.exe, driven from another process as a user would: its
// buttons clicked with BM_CLICK, keys posted, its controls read back, typing
// into Wine's Notepad and into a window that records what it receives.
#include "core/StatusTexts.h"
#include "platform/win32/RegistrySettingsService.h"
#include "platform/win32/Utf16.h"
#include "ui/Design.h"
#include "ui/Twips.h"
#include "ui/win32/FormRenderer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <process.h>
#include <thread>
#include <tuple>
#include <vector>

namespace qmpvx::win32 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Wine reads a Unix path on its drive Z:.
const std::wstring kProgram = L"Z:" QMPVX_PROGRAM;
const std::wstring kRecorder = L"Z:" QMPVX_RECORDER;
const std::wstring kRecorderTitle = L"QM-PVX Recorder";
const std::wstring kNotepadTitle = L"Untitled - Notepad";
const std::wstring kSent = L"!!! TEXT STRING SENT... !!!";
const std::wstring kMixedText = L"Gr\u00fc\u00dfe +1 \u65e5\u672c\u8a9e \u03a9\u03bc\u03ad\u03b3\u03b1 \U0001F600!";
// The same in the key notation: the plus sign braced.
const std::string kMixedNotation = toUtf8(L"Gr\u00fc\u00dfe {+}1 \u65e5\u672c\u8a9e \u03a9\u03bc\u03ad\u03b3\u03b1 \U0001F600!");

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s)
{
    for (const auto deadline = Clock::now() + timeout; !condition(); std::this_thread::sleep_for(20ms))
        if (Clock::now() > deadline)
            return false;
    return true;
}

std::wstring textOf(HWND window)
{
    std::wstring text(8192, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

void setTextOf(HWND window, const std::wstring& text)
{
    SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool textBecomes(HWND window, const std::wstring& expected, std::chrono::milliseconds timeout = 10s)
{
    return waitFor([&] { return textOf(window) == expected; }, timeout);
}

void postKey(HWND window, WPARAM key)
{
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

HWND findVisible(const wchar_t* windowClass, const wchar_t* title = nullptr)
{
    HWND found = nullptr;
    const auto visible = [&] { return (found = FindWindowW(windowClass, title)) && IsWindowVisible(found); };
    return waitFor(visible, 10s) ? found : nullptr;
}

// The window manager has given the focus to the window of that title. It
// focuses a new window, or another when the focused one goes, in its own
// time, and Wine then brings that window to the front: typing must not start
// before, or keys go to it.
bool focusedByWindowManager(const std::wstring& title)
{
    const wchar_t* const file = _wgetenv(L"QMPVX_ACTIVE_WINDOW_FILE");
    if (!file)
        return false;
    const std::wstring path = L"Z:" + std::wstring(file);
    const std::string expected = toUtf8(title) + "\n";
    return waitFor([&] {
        std::string name;
        if (FILE* const f = _wfopen(path.c_str(), L"rb")) {
            for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f))
                name += static_cast<char>(c);
            std::fclose(f);
        }
        return name == expected;
    }, 10s);
}

// A started program, ended when the test is done with it.
struct Process {
    const HANDLE handle;

    explicit Process(const std::wstring& program, const wchar_t* argument = nullptr)
        : handle(reinterpret_cast<HANDLE>(_wspawnlp(_P_NOWAIT, program.c_str(), program.c_str(), argument, nullptr)))
    {
    }
    ~Process()
    {
        TerminateProcess(handle, 1);
        WaitForSingleObject(handle, 5000);
        CloseHandle(handle);
    }
    // The exit status, or nothing if it still runs after the timeout.
    std::optional<DWORD> waitForExit(std::chrono::milliseconds timeout) const
    {
        DWORD status = 0;
        if (WaitForSingleObject(handle, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
            return std::nullopt;
        GetExitCodeProcess(handle, &status);
        return status;
    }
};

// Each test runs its own copy of the program under a name of its own, so it
// starts from its own, fresh settings.
class Program : public ::testing::Test {
protected:
    const std::string name = "QM-PVX-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name());
    RegistrySettingsService registry;
    const std::wstring copy_ = _wgetenv(L"TEMP") + (L"\\" + toUtf16(name) + L".exe");
    std::unique_ptr<Process> program_, recorder_, notepad_;
    HWND main_ = nullptr, record_ = nullptr, edit_ = nullptr; // record_: what the recorder received

    void SetUp() override
    {
        forgetSettings();
        ASSERT_TRUE(CopyFileW(kProgram.c_str(), copy_.c_str(), FALSE));
    }
    void TearDown() override
    {
        program_.reset();
        DeleteFileW(copy_.c_str());
        forgetSettings();
    }
    void forgetSettings()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, RegistrySettingsService::keyPath("QM_PVX", name).c_str());
    }
    void store(std::string_view key, std::string_view value) { registry.save("QM_PVX", name, key, value); }
    std::optional<std::string> stored(std::string_view key) { return registry.lookup("QM_PVX", name, key); }

    std::wstring mainTitle() const { return L"QM-PVX - " + toUtf16(name); }
    void start()
    {
        program_ = std::make_unique<Process>(copy_);
        main_ = findVisible(L"QM_PVX_FORM", mainTitle().c_str());
        ASSERT_NE(main_, nullptr) << "the main window did not appear";
        ASSERT_TRUE(focusedByWindowManager(mainTitle())) << "the window manager did not focus the main window";
    }
    HWND control(std::string_view name) const { return GetDlgItem(main_, controlId(design::kMainWindow, name)); }
    void click(std::string_view name) const { PostMessageW(control(name), BM_CLICK, 0, 0); }
    void exitProgram()
    {
        click("EXIT_BUTTON");
        EXPECT_EQ(program_->waitForExit(10s), std::optional<DWORD>(0));
    }

    // The recorder and Wine's Notepad, to type into.
    void startTargets()
    {
        recorder_ = std::make_unique<Process>(kRecorder, kRecorderTitle.c_str());
        record_ = GetWindow(findVisible(L"QM_PVX_RECORDER", kRecorderTitle.c_str()), GW_CHILD);
        ASSERT_TRUE(record_ && focusedByWindowManager(kRecorderTitle)) << "the recorder did not appear";
        notepad_ = std::make_unique<Process>(L"notepad.exe");
        edit_ = FindWindowExW(findVisible(L"Notepad"), nullptr, L"Edit", nullptr);
        ASSERT_TRUE(edit_ && focusedByWindowManager(kNotepadTitle)) << "Notepad did not appear";
    }

    // Ready, then Send once it is armed.
    void sendTo(const std::wstring& title, std::string_view notation) const
    {
        setTextOf(control("WINDOW_NAME_TEXTBOX"), title);
        setTextOf(control("TEXT_TO_SEND_TEXTBOX"), toUtf16(notation));
        click("READY_BUTTON");
        ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(control("SEND_BUTTON")) != FALSE; }));
        click("SEND_BUTTON");
    }

    // The text of the error window, dismissed (the window manager then
    // focuses the main window again).
    std::wstring errorShown() const
    {
        const HWND error = findVisible(L"QM_PVX_ERROR");
        std::wstring message = error ? L"" : L"(no error window)";
        for (HWND child = GetWindow(error, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            message += textOf(child);
        PostMessageW(error, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(error); }));
        EXPECT_TRUE(focusedByWindowManager(mainTitle()));
        return message;
    }

    // What each text makes of Notepad's text, and which characters the
    // recorder receives: a keyboard's Ctrl+A, C and V give U+0001, U+0003
    // and U+0016 there. A text refused for `why` (it begins with "Secret",
    // which the message must not show) types nothing: "ok" sent next
    // arrives alone.
    struct Typed {
        std::string_view notation;
        std::wstring notepad, recorder;
        const wchar_t* why = nullptr;
    };
    void expectTyped(std::initializer_list<Typed> cases)
    {
        for (const Typed& c : cases)
            for (const auto& [title, expected] :
                 {std::pair(kNotepadTitle, c.notepad), std::pair(kRecorderTitle, c.recorder)}) {
                const HWND target = title == kRecorderTitle ? record_ : edit_;
                setTextOf(target, L"");
                sendTo(title, c.notation);
                if (c.why) {
                    const std::wstring message = errorShown();
                    EXPECT_NE(message.find(L"Nothing was typed into \"" + title + L"\": "), std::wstring::npos)
                        << toUtf8(message);
                    EXPECT_NE(message.find(c.why), std::wstring::npos) << toUtf8(message);
                    EXPECT_EQ(message.find(L"Secret"), std::wstring::npos) << "the text must not be shown";
                    sendTo(title, "ok");
                }
                EXPECT_TRUE(textBecomes(control("CURRENT_STATUS_LABEL"), kSent)) << c.notation;
                EXPECT_TRUE(textBecomes(target, expected))
                    << c.notation << " into " << toUtf8(title) << " gave " << toUtf8(textOf(target));
            }
    }
};

// At 150 % (Wine's LogPixels), every control stands at its twips; the
// stored size is the outer frame's, 9480 x 6240 twips by default.
TEST_F(Program, ShowsTheMainWindowAsDesignedAtTheDesktopsDpi)
{
    const DWORD dpi = 144;
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
    start();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");

    const auto pixels = [&](int twips) { return static_cast<LONG>(ui::twipsToPixels(twips, dpi)); };
    for (const design::Control& c : design::kMainWindow.controls) {
        RECT rect{};
        if (c.kind == design::Kind::Timer)
            continue;
        GetWindowRect(control(c.name), &rect);
        MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(std::vector({rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}),
                  std::vector({pixels(c.left), pixels(c.top), pixels(c.width), pixels(c.height)}))
            << c.name;
    }
    RECT outer{};
    GetWindowRect(main_, &outer);
    EXPECT_EQ(std::pair(outer.right - outer.left, outer.bottom - outer.top), std::pair(948L, 624L));
    EXPECT_FALSE(GetWindowLongPtrW(main_, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_EQ(textOf(control("APP_EXE_NAME_TEXTBOX")), toUtf16(name)); // the copy's own name, without ".exe"
    exitProgram();
    EXPECT_EQ(stored("MAIN-Left"), "1000");
}

TEST_F(Program, ManualSendTypesAsAKeyboardWouldIntoTheNamedWindowOnly)
{
    startTargets();
    start();
    expectTyped({
        {kMixedNotation, kMixedText, kMixedText},
        {"+a+(bc)", L"ABC", L"ABC"},
        {"+(A1)b", L"A!b", L"A!b"}, // the notation's Shift stays down past the A's own
        {"abc^a{DEL}xyz", L"xyz", L"abc\u0001xyz"},
        {"x+{LEFT}^c{END}^v", L"xx", L"x\u0003\u0016"},
        {"Secret^(\u65e5)", L"ok", L"ok",
         L"no key of its own for character 9, so it cannot be typed with Ctrl (^) held"},
    });

    // Caps Lock, on as the user left it, changes nothing and is on again afterwards.
    const auto tapCapsLock = [] {
        INPUT caps[2] = {};
        caps[0].type = caps[1].type = INPUT_KEYBOARD;
        caps[0].ki.wVk = caps[1].ki.wVk = VK_CAPITAL;
        caps[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, caps, sizeof(INPUT));
    };
    tapCapsLock();
    ASSERT_TRUE(waitFor([] { return (GetKeyState(VK_CAPITAL) & 1) != 0; })) << "Caps Lock did not lock";
    expectTyped({{"aB+c\u00e4", L"aBC\u00e4", L"aBC\u00e4"}});
    EXPECT_TRUE(GetKeyState(VK_CAPITAL) & 1) << "Caps Lock is off after typing";
    tapCapsLock();

    // Keys that do not reach the target as typed are no success, even when
    // the last key is sent: the recorder gives the focus away on '&' and lets
    // go of Shift on '$'. (The 'y' may or may not have gone out before the
    // program saw Shift up.)
    for (const auto& [notation, arrived, why] : {
             std::tuple("ab&", std::vector<std::wstring>{L"ab&"}, L"lost the focus after 3 of 3 keys"),
             std::tuple("+(x$yz)", std::vector<std::wstring>{L"X$", L"X$y"},
                        L"the Shift key was let go by something other than QM-PVX while typing into \"QM-PVX "
                        L"Recorder\""),
         }) {
        setTextOf(record_, L"");
        sendTo(kRecorderTitle, notation);
        const std::wstring message = errorShown();
        EXPECT_NE(message.find(why), std::wstring::npos) << toUtf8(message);
        EXPECT_TRUE(std::ranges::count(arrived, textOf(record_))) << notation << " gave " << toUtf8(textOf(record_));
        EXPECT_EQ(textOf(control("CURRENT_STATUS_LABEL")), toUtf16(std::string(status::kReadyToSend)));
    }
    // An open menu of the target would take the keys (as one opened by an Alt
    // that reached it does): refused.
    const HWND notepad = GetParent(edit_);
    const auto inMenu = [notepad] {
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        return GetGUIThreadInfo(GetWindowThreadProcessId(notepad, nullptr), &thread) &&
               (thread.flags & GUI_INMENUMODE) != 0;
    };
    setTextOf(edit_, L"");
    PostMessageW(notepad, WM_SYSCOMMAND, SC_KEYMENU, 0);
    ASSERT_TRUE(waitFor(inMenu)) << "Notepad's menu did not open";
    sendTo(kNotepadTitle, "abc");
    const std::wstring menuMessage = errorShown();
    EXPECT_NE(menuMessage.find(L"a menu of the window \"Untitled - Notepad\" is open and takes the keys, after 0 of 3"),
              std::wstring::npos)
        << toUtf8(menuMessage);
    SendMessageW(notepad, WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(waitFor([&] { return !inMenu(); }));
    EXPECT_EQ(textOf(edit_), L"");

    // No window of that title: nothing typed, not even into the window in
    // front. The one error window is reused for the next failure, and a close
    // that saves ends the program with it: an unattended run must not wait
    // for a click.
    setTextOf(record_, L"");
    SetForegroundWindow(GetParent(record_));
    sendTo(L"No Such Window", "abc");
    const HWND error = findVisible(L"QM_PVX_ERROR");
    const std::wstring message = errorShown();
    EXPECT_NE(message.find(L"\"No Such Window\""), std::wstring::npos) << toUtf8(message);
    EXPECT_EQ(message.find(L"abc"), std::wstring::npos) << "the text must not be shown";
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(textOf(record_), L"");
    sendTo(L"No Such Window", "abc");
    EXPECT_EQ(findVisible(L"QM_PVX_ERROR"), error);
    exitProgram();
    EXPECT_EQ(stored("TEXT_TO_SEND_TEXTBOX"), "abc");
}

// Run on an X server with a German keymap (program_tests_de): Wine's keys
// follow it.
TEST_F(Program, TypesThroughAGermanLayout)
{
    ASSERT_EQ(VkKeyScanExW(L'@', GetKeyboardLayout(0)), 0x0651) << "@ is not on AltGr+Q: not a German keymap";
    startTargets();
    ASSERT_EQ(SendMessageW(GetParent(record_), WM_APP, 0, 0), 0x0651) << "the recorder's layout is not German";
    start();
    // AltGr characters, umlauts, and punctuation on other keys than in the US.
    const std::wstring text = L"Gr\u00fc\u00dfe @\u20ac{]\\~ "
                              L"\u00e4\u00f6\u00fc\u00c4\u00d6\u00dc\u00df \"yz/=?;:_*'#<>|";
    std::wstring notation = text;
    notation.replace(notation.find(L'{'), 1, L"{{}");
    notation.replace(notation.find(L'~'), 1, L"{~}");
    expectTyped({
        {"+(yz#7)", L"YZ'/", L"YZ'/"}, // Shift with # and 7 gives ' and /: the layout's own keys
        {toUtf8(notation), text, text},
        {"zy^a{DEL}yz", L"yz", L"zy\u0001yz"},
        // Wine types nothing for Ctrl+Alt and a key, so its AltGr characters
        // go as Unicode: no key of their own there.
        {"Secret^(@)", L"ok", L"ok", L"character 9"},
    });
    exitProgram();
}

TEST_F(Program, AutoStartWithAutoCloseTypesAndExitsByItself)
{
    startTargets();
    for (const char* tick : {"AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX", "AUTO_ENTER_KEY_TICKBOX"})
        store(tick, "1");
    store("WINDOW_NAME_TEXTBOX", "qm-pvx RECORD"); // the start of its title, any case
    store("TEXT_TO_SEND_TEXTBOX", kMixedNotation);
    const auto started = Clock::now();
    start();
    ASSERT_TRUE(textBecomes(record_, kMixedText + L"\r", 20s)) << toUtf8(textOf(record_));
    const auto typed = Clock::now();
    EXPECT_EQ(program_->waitForExit(20s), std::optional<DWORD>(0));
    EXPECT_GE(Clock::now() - typed, 9500ms);
    EXPECT_GE(typed - started, 9500ms);
    EXPECT_EQ(stored("TEXT_TO_SEND_TEXTBOX"), kMixedNotation);
}

TEST_F(Program, KeyboardRolesAndTheAboutWindow)
{
    start();
    const HWND text = control("TEXT_TO_SEND_TEXTBOX");
    // Esc presses START/STOP, from a multi-line edit too (which would
    // otherwise close the window).
    postKey(text, VK_ESCAPE);
    EXPECT_TRUE(textBecomes(control("START_STOP_BUTTON"), L"STOP"));
    click("START_STOP_BUTTON");

    // Tab leaves the multi-line field for the next tab stop; Enter in it is a
    // line break, as the window has no default button.
    const auto hasFocus = [&](std::string_view name) {
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        const DWORD threadId = GetWindowThreadProcessId(main_, nullptr);
        return waitFor([&] { return GetGUIThreadInfo(threadId, &thread) && thread.hwndFocus == control(name); });
    };
    PostMessageW(text, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(text, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(hasFocus("TEXT_TO_SEND_TEXTBOX"));
    postKey(text, VK_TAB);
    EXPECT_TRUE(hasFocus("READY_BUTTON"));
    setTextOf(text, L"ab");
    SendMessageW(text, EM_SETSEL, 1, 1);
    postKey(text, VK_RETURN);
    EXPECT_TRUE(textBecomes(text, L"a\r\nb"));
    EXPECT_EQ(textOf(control("START_STOP_BUTTON")), L"START");

    // Typing stops at 1000 characters; a paste is cut there without splitting
    // a surrogate pair.
    setTextOf(text, std::wstring(998, L'a'));
    SendMessageW(text, EM_SETSEL, 998, 998);
    for (int i = 0; i < 3; ++i)
        SendMessageW(text, WM_CHAR, L'b', 1);
    EXPECT_EQ(textOf(text), std::wstring(998, L'a') + L"bb");
    setTextOf(text, std::wstring(999, L'a'));
    SendMessageW(text, EM_SETSEL, 999, 999);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const std::wstring pasted = L"\U0001F600\U0001F600";
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (pasted.size() + 1) * sizeof(wchar_t));
    std::copy_n(pasted.c_str(), pasted.size() + 1, static_cast<wchar_t*>(GlobalLock(memory)));
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
    SendMessageW(text, WM_PASTE, 0, 0);
    EXPECT_EQ(textOf(text), std::wstring(999, L'a') + L"\U0001F600");

    // The About window: modal over the main window, the address on a
    // double-click, Enter presses OK, its position saved.
    click("ABOUT_BUTTON");
    const HWND about = findVisible(L"QM_PVX_FORM", L"QM-PVX - QM-Pellivox - ABOUT");
    const auto aboutControl = [&](std::string_view name) {
        return GetDlgItem(about, controlId(design::kAboutWindow, name));
    };
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(IsWindowEnabled(main_));
    EXPECT_EQ(GetWindow(about, GW_OWNER), main_);
    PostMessageW(aboutControl("QM_PVX_CREATOR"), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(textBecomes(aboutControl("QM_PVX_CREATOR"), L"ketrovan5@quillmarsh.example"));
    postKey(aboutControl("OK_BUTTON"), VK_RETURN);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(about); }));
    EXPECT_TRUE(IsWindowEnabled(main_));
    EXPECT_EQ(stored("ABOUT-Left"), "1000");
    exitProgram();
}

// The options answer on a redirected output (their wording is the command
// line's unit tests'), and nothing starts.
TEST_F(Program, HelpAndUnknownOptions)
{
    // Through cmd, which reads both outputs through a pipe and ends with the
    // program's exit status.
    const auto ask = [&](const std::wstring& arguments) {
        FILE* const pipe = _wpopen((copy_ + L" " + arguments + L" 2>&1").c_str(), L"rb");
        std::string output;
        for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe))
            output += static_cast<char>(c);
        return std::pair(_pclose(pipe), output);
    };
    const auto [helpStatus, help] = ask(L"--help");
    EXPECT_EQ(helpStatus, 0);
    EXPECT_TRUE(help.starts_with("Usage: " + name + " [--help | --version]\n")) << help;
    EXPECT_NE(help.find("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\QM_PVX\\" + name),
              std::string::npos) << help;

    const auto [unknownStatus, unknown] = ask(L"/S Notepad");
    EXPECT_EQ(unknownStatus, 2);
    EXPECT_TRUE(unknown.starts_with(name + ": takes no arguments")) << unknown;
    EXPECT_EQ(FindWindowW(L"QM_PVX_FORM", nullptr), nullptr);
    EXPECT_FALSE(stored("MAIN-Left")) << "nothing started, nothing saved";
}

} // namespace
} // namespace qmpvx::win32
