// The real QM-PVX.exe, driven from another process as a user would: its
// buttons clicked with BM_CLICK, keys posted, its controls read back, typing
// into Wine's Notepad and into a window that records what it receives.
#include "platform/win32/RegistrySettingsService.h"
#include "platform/win32/Utf16.h"
#include "ui/Design.h"
#include "ui/Twips.h"
#include "ui/win32/FormRenderer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace qmpvx::win32 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::wstring kRecorderTitle = L"QM-PVX Recorder";
const std::wstring kMixedText = L"Gr\u00fc\u00dfe +1 \u65e5\u672c\u8a9e \u03a9\u03bc\u03ad\u03b3\u03b1 \U0001F600!";
// The same in the key notation: the plus sign braced.
const std::string kMixedNotation = toUtf8(L"Gr\u00fc\u00dfe {+}1 \u65e5\u672c\u8a9e \u03a9\u03bc\u03ad\u03b3\u03b1 \U0001F600!");

std::wstring windowsPath(std::string_view unixPath)
{
    std::wstring path = L"Z:" + toUtf16(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s)
{
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::wstring textOf(HWND window)
{
    std::wstring buffer(8192, L'\0');
    const LRESULT length = SendMessageW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

// A started program, ended when the test is done with it.
class Process {
public:
    explicit Process(std::wstring commandLine)
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info_))
            throw std::runtime_error("cannot start " + toUtf8(commandLine));
        WaitForInputIdle(info_.hProcess, 10000);
    }
    ~Process()
    {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The exit status, or nothing if it still runs after the timeout.
    std::optional<DWORD> waitForExit(std::chrono::milliseconds timeout)
    {
        if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
            return std::nullopt;
        DWORD status = 0;
        GetExitCodeProcess(info_.hProcess, &status);
        return status;
    }

private:
    PROCESS_INFORMATION info_{};
};

HWND findVisible(const wchar_t* windowClass, const std::wstring& title)
{
    HWND found = nullptr;
    const bool visible = waitFor([&] {
        found = FindWindowW(windowClass, title.empty() ? nullptr : title.c_str());
        return found && IsWindowVisible(found);
    }, 10s);
    return visible ? found : nullptr;
}

// Reads and works a window of the program by its design names.
class Driver {
public:
    Driver(HWND form, const design::Window& design) : form_(form), design_(design) {}

    HWND form() const { return form_; }
    HWND control(std::string_view name) const { return GetDlgItem(form_, controlId(design_, name)); }
    void click(std::string_view name) const { PostMessageW(control(name), BM_CLICK, 0, 0); }
    std::wstring text(std::string_view name) const { return textOf(control(name)); }
    void setText(std::string_view name, const std::wstring& text) const
    {
        SendMessageW(control(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    LRESULT check(std::string_view name) const { return SendMessageW(control(name), BM_GETCHECK, 0, 0); }
    void postKey(std::string_view name, WPARAM key) const
    {
        PostMessageW(control(name), WM_KEYDOWN, key, 1);
        PostMessageW(control(name), WM_KEYUP, key, 0xC0000001);
    }
    bool textBecomes(std::string_view name, const std::wstring& expected) const
    {
        return waitFor([&] { return text(name) == expected; });
    }

private:
    HWND form_;
    const design::Window& design_;
};

// Each test runs its own copy of the program under a name of its own, so it
// starts from its own, fresh settings.
class Program : public ::testing::Test {
protected:
    std::string name;
    RegistrySettingsService registry;

    void SetUp() override
    {
        name = std::string("QM-PVX-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RegDeleteTreeW(HKEY_CURRENT_USER, RegistrySettingsService::keyPath("QM_PVX", name).c_str());
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        copy_ = std::wstring(temp) + toUtf16(name) + L".exe";
        ASSERT_TRUE(CopyFileW(windowsPath(QMPVX_PROGRAM).c_str(), copy_.c_str(), FALSE));
    }

    void TearDown() override
    {
        program_.reset();
        recorder_.reset();
        notepad_.reset();
        DeleteFileW(copy_.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, RegistrySettingsService::keyPath("QM_PVX", name).c_str());
    }

    void store(std::string_view key, std::string_view value) { registry.save("QM_PVX", name, key, value); }
    std::optional<std::string> stored(std::string_view key) { return registry.lookup("QM_PVX", name, key); }

    Process& start()
    {
        program_ = std::make_unique<Process>(L"\"" + copy_ + L"\"");
        return *program_;
    }

    // Runs the copy with these arguments, its output and errors into one pipe.
    struct Answer {
        std::optional<DWORD> status;
        std::string output;
    };
    Answer ask(const std::wstring& arguments)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
            throw std::runtime_error("cannot make a pipe");
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = writeEnd;
        PROCESS_INFORMATION info{};
        std::wstring commandLine = L"\"" + copy_ + L"\" " + arguments;
        const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                            nullptr, &startup, &info);
        CloseHandle(writeEnd);
        Answer answer;
        if (started) {
            char buffer[4096];
            DWORD got = 0;
            while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
                answer.output.append(buffer, got);
            if (WaitForSingleObject(info.hProcess, 10000) == WAIT_OBJECT_0) {
                DWORD status = 0;
                GetExitCodeProcess(info.hProcess, &status);
                answer.status = status;
            } else {
                TerminateProcess(info.hProcess, 1);
            }
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
        CloseHandle(readEnd);
        return answer;
    }

    Driver mainWindow()
    {
        const HWND form = findVisible(L"QM_PVX_FORM", L"QM-PVX - " + toUtf16(name));
        EXPECT_NE(form, nullptr) << "the main window did not appear";
        return Driver(form, design::kMainWindow);
    }

    // The recording window, and what it has received so far.
    void startRecorder()
    {
        recorder_ = std::make_unique<Process>(L"\"" + windowsPath(QMPVX_RECORDER) + L"\" " + kRecorderTitle);
        recorderWindow_ = findVisible(L"QM_PVX_RECORDER", kRecorderTitle);
        ASSERT_NE(recorderWindow_, nullptr);
    }
    std::wstring recorded() const { return textOf(GetWindow(recorderWindow_, GW_CHILD)); }
    bool recorderReceives(const std::wstring& expected, std::chrono::milliseconds timeout = 10s) const
    {
        return waitFor([&] { return recorded() == expected; }, timeout);
    }

    void clearRecorder() const
    {
        SendMessageW(GetWindow(recorderWindow_, GW_CHILD), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    }

    // Ready, then Send once it is armed.
    static void send(const Driver& main)
    {
        main.click("READY_BUTTON");
        ASSERT_TRUE(waitFor([&] { return IsWindowEnabled(main.control("SEND_BUTTON")) != FALSE; }));
        main.click("SEND_BUTTON");
    }

    static void sendTo(const Driver& main, const std::wstring& title, std::string_view notation)
    {
        main.setText("WINDOW_NAME_TEXTBOX", title);
        main.setText("TEXT_TO_SEND_TEXTBOX", toUtf16(notation));
        send(main);
    }

    // The text of the error window, dismissed.
    static std::wstring errorShown()
    {
        const HWND error = findVisible(L"QM_PVX_ERROR", L"");
        if (!error)
            return L"(no error window)";
        std::wstring message;
        for (HWND child = GetWindow(error, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            message += textOf(child);
        PostMessageW(error, WM_COMMAND, IDOK, 0);
        waitFor([&] { return !IsWindowVisible(error); });
        return message;
    }

    // The recorder, Wine's Notepad and the program, for typing into both.
    Driver startWithTargets()
    {
        startRecorder();
        notepad_ = std::make_unique<Process>(L"notepad.exe");
        const HWND notepad = findVisible(L"Notepad", L"");
        EXPECT_NE(notepad, nullptr) << "Notepad did not appear";
        edit_ = FindWindowExW(notepad, nullptr, L"Edit", nullptr);
        start();
        return mainWindow();
    }

    // What each text makes of Notepad's text, and which characters the
    // recorder receives: a keyboard's Ctrl+A, C and V give U+0001, U+0003
    // and U+0016 there.
    struct Typed {
        std::string_view notation;
        std::wstring notepad;
        std::wstring recorder;
    };
    void expectTyped(const Driver& main, std::initializer_list<Typed> cases)
    {
        for (const Typed& c : cases) {
            SendMessageW(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
            sendTo(main, L"Untitled - Notepad", c.notation);
            EXPECT_TRUE(main.textBecomes("CURRENT_STATUS_LABEL", L"!!! TEXT STRING SENT... !!!")) << c.notation;
            EXPECT_TRUE(waitFor([&] { return textOf(edit_) == c.notepad; }))
                << c.notation << " gave " << toUtf8(textOf(edit_));
            clearRecorder();
            sendTo(main, kRecorderTitle, c.notation);
            EXPECT_TRUE(recorderReceives(c.recorder)) << c.notation << " gave " << toUtf8(recorded());
        }
    }

    // The text (which begins with "Secret") is refused in both windows before
    // a key is sent: a text typed next arrives alone.
    void expectRefused(const Driver& main, std::string_view notation, const std::wstring& why)
    {
        for (const std::wstring& title : {std::wstring(L"Untitled - Notepad"), kRecorderTitle}) {
            SendMessageW(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
            clearRecorder();
            sendTo(main, title, notation);
            const std::wstring message = errorShown();
            EXPECT_NE(message.find(L"Nothing was typed into \"" + title + L"\""), std::wstring::npos)
                << toUtf8(message);
            EXPECT_NE(message.find(why), std::wstring::npos) << toUtf8(message);
            EXPECT_EQ(message.find(L"Secret"), std::wstring::npos) << "the text must not be shown";
            sendTo(main, title, "ok");
            const auto received = [&] { return title == kRecorderTitle ? recorded() : textOf(edit_); };
            EXPECT_TRUE(waitFor([&] { return received() == L"ok"; })) << toUtf8(received());
        }
    }

    void exitProgram(const Driver& main)
    {
        main.click("EXIT_BUTTON");
        EXPECT_EQ(program_->waitForExit(10s), std::optional<DWORD>(0));
    }

private:
    std::wstring copy_;
    std::unique_ptr<Process> program_;
    std::unique_ptr<Process> recorder_;
    std::unique_ptr<Process> notepad_;
    HWND edit_ = nullptr;
    HWND recorderWindow_ = nullptr;
};

// At 150 % (Wine's LogPixels), every control stands at its twips; the
// stored size is the outer frame's, 9480 x 6240 twips by default.
TEST_F(Program, ShowsTheMainWindowAsDesignedAtTheDesktopsDpi)
{
    HKEY desktop = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &desktop), ERROR_SUCCESS);
    const DWORD dpi = 144;
    RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    start();
    const Driver main = mainWindow();
    RegDeleteValueW(desktop, L"LogPixels");
    RegCloseKey(desktop);

    for (const design::Control& control : design::kMainWindow.controls) {
        if (control.kind == design::Kind::Timer)
            continue;
        RECT rect{};
        GetWindowRect(main.control(control.name), &rect);
        MapWindowPoints(nullptr, main.form(), reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(std::vector({rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}),
                  std::vector<LONG>({ui::twipsToPixels(control.left, dpi), ui::twipsToPixels(control.top, dpi),
                                     ui::twipsToPixels(control.width, dpi), ui::twipsToPixels(control.height, dpi)}))
            << control.name;
    }
    RECT outer{};
    GetWindowRect(main.form(), &outer);
    EXPECT_EQ(outer.right - outer.left, 948);
    EXPECT_EQ(outer.bottom - outer.top, 624);
    EXPECT_FALSE(GetWindowLongPtrW(main.form(), GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_EQ(main.text("APP_EXE_NAME_TEXTBOX"), toUtf16(name));  // the copy's own name, without ".exe"
    EXPECT_EQ(main.text("CURRENT_STATUS_LABEL"), L"READY...");
    exitProgram(main);
    EXPECT_EQ(stored("MAIN-Left"), "1000");
}

TEST_F(Program, ManualSendTypesExactUnicodeWithAndWithoutEnter)
{
    startRecorder();
    Process notepad(L"notepad.exe");
    const HWND notepadWindow = findVisible(L"Notepad", L"");
    ASSERT_NE(notepadWindow, nullptr);
    start();
    const Driver main = mainWindow();

    // With Enter, into the recorder named by the start of its title, any case.
    main.setText("WINDOW_NAME_TEXTBOX", L"qm-pvx RECORD");
    main.setText("TEXT_TO_SEND_TEXTBOX", toUtf16(kMixedNotation));
    main.click("AUTO_ENTER_KEY_TICKBOX");
    ASSERT_TRUE(waitFor([&] { return main.check("AUTO_ENTER_KEY_TICKBOX") == BST_CHECKED; }));
    send(main);
    EXPECT_TRUE(recorderReceives(kMixedText + L"\r")) << toUtf8(recorded());
    EXPECT_TRUE(main.textBecomes("CURRENT_STATUS_LABEL", L"!!! TEXT STRING SENT... !!!"));

    // Without Enter, into Notepad, read back from its edit control.
    main.click("AUTO_ENTER_KEY_TICKBOX");
    ASSERT_TRUE(waitFor([&] { return main.check("AUTO_ENTER_KEY_TICKBOX") == BST_UNCHECKED; }));
    main.setText("WINDOW_NAME_TEXTBOX", L"Untitled - Notepad");
    send(main);
    const HWND edit = FindWindowExW(notepadWindow, nullptr, L"Edit", nullptr);
    EXPECT_TRUE(waitFor([&] { return textOf(edit) == kMixedText; })) << toUtf8(textOf(edit));
    EXPECT_EQ(recorded(), kMixedText + L"\r");
    exitProgram(main);
    EXPECT_EQ(stored("TEXT_TO_SEND_TEXTBOX"), kMixedNotation);
    EXPECT_EQ(stored("WINDOW_NAME_TEXTBOX"), "Untitled - Notepad");
}

TEST_F(Program, ModifiersCombineWithTheKeysOfTheLayoutAsOnAKeyboard)
{
    const Driver main = startWithTargets();
    expectTyped(main, {
        {"+a+(bc)", L"ABC", L"ABC"},
        {"+(A1)b", L"A!b", L"A!b"}, // the notation's Shift stays down past the A's own
        {"abc^a{DEL}xyz", L"xyz", L"abc\u0001xyz"},
        {"x+{LEFT}^c{END}^v", L"xx", L"x\u0003\u0016"},
    });
    expectRefused(main, "Secret^(\u65e5)",
                  L"no key of its own for character 9, so it cannot be typed with Ctrl (^) held");

    // Caps Lock, on as the user left it, changes nothing and is on again afterwards.
    INPUT caps[2] = {};
    for (INPUT& input : caps) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = VK_CAPITAL;
    }
    caps[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, caps, sizeof(INPUT));
    ASSERT_TRUE(waitFor([] { return (GetKeyState(VK_CAPITAL) & 1) != 0; })) << "Caps Lock did not lock";
    expectTyped(main, {{"aB+c\u00e4", L"aBC\u00e4", L"aBC\u00e4"}});
    EXPECT_TRUE(GetKeyState(VK_CAPITAL) & 1) << "Caps Lock is off after typing";
    SendInput(2, caps, sizeof(INPUT));
    exitProgram(main);
}

// Run on an X server with a German keymap (program_tests_de): Wine's keys
// follow it.
TEST_F(Program, TypesThroughAGermanLayout)
{
    ASSERT_EQ(VkKeyScanExW(L'@', GetKeyboardLayout(0)), 0x0651) << "@ is not on AltGr+Q: not a German keymap";
    const Driver main = startWithTargets();
    // AltGr characters, umlauts, and punctuation on other keys than in the US.
    const std::wstring text = L"Gr\u00fc\u00dfe @\u20ac{]\\~ "
                              L"\u00e4\u00f6\u00fc\u00c4\u00d6\u00dc\u00df \"yz/=?;:_*'#<>|";
    std::wstring notation = text;
    notation.replace(notation.find(L'{'), 1, L"{{}");
    notation.replace(notation.find(L'~'), 1, L"{~}");
    // Shift with # and 7 gives ' and / on this layout: the layout's own keys.
    expectTyped(main, {
        {"+(yz#7)", L"YZ'/", L"YZ'/"},
        {toUtf8(notation), text, text},
        {"zy^a{DEL}yz", L"yz", L"zy\u0001yz"},
    });
    // Wine types nothing for Ctrl+Alt and a key, so its AltGr characters go
    // as Unicode: no key of their own there.
    expectRefused(main, "Secret^(@)", L"character 9");
    exitProgram(main);
}

TEST_F(Program, NoMatchingWindowTypesNothingAndSaysSo)
{
    startRecorder();
    Process& program = start();
    const Driver main = mainWindow();
    main.setText("WINDOW_NAME_TEXTBOX", L"No Such Window");
    main.setText("TEXT_TO_SEND_TEXTBOX", L"abc");
    SetForegroundWindow(FindWindowW(L"QM_PVX_RECORDER", nullptr));
    send(main);

    const HWND error = findVisible(L"QM_PVX_ERROR", L"");
    ASSERT_NE(error, nullptr) << "no error window";
    std::wstring message;
    for (HWND child = GetWindow(error, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        message += textOf(child);
    EXPECT_NE(message.find(L"\"No Such Window\""), std::wstring::npos) << toUtf8(message);
    EXPECT_EQ(message.find(L"abc"), std::wstring::npos) << "the text must not be shown";
    EXPECT_EQ(main.text("CURRENT_STATUS_LABEL"), L"READY TO SEND...!!!");
    EXPECT_FALSE(IsWindowEnabled(main.control("SEND_BUTTON"))) << "a failed send must be armed again";
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(recorded(), L"");

    // Dismissed, the same window is reused for the next failure.
    PostMessageW(error, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitFor([&] { return !IsWindowVisible(error); }));
    send(main);
    EXPECT_EQ(findVisible(L"QM_PVX_ERROR", L""), error);

    // A close that saves ends the program, error window and all: what it
    // reported is over, and an unattended run must not wait for a click.
    main.click("EXIT_BUTTON");
    EXPECT_EQ(program.waitForExit(10s), std::optional<DWORD>(0));
}

TEST_F(Program, AutoStartWithAutoCloseTypesAndExitsByItself)
{
    startRecorder();
    store("AUTOSTART_TICKBOX", "1");
    store("AUTOCLOSE_TICKBOX", "1");
    store("AUTO_ENTER_KEY_TICKBOX", "1");
    store("WINDOW_NAME_TEXTBOX", toUtf8(kRecorderTitle));
    store("TEXT_TO_SEND_TEXTBOX", kMixedNotation);
    const auto started = Clock::now();
    Process& program = start();
    const Driver main = mainWindow();
    EXPECT_EQ(main.text("CURRENT_STATUS_LABEL"), L"AUTO-STARTING IN 10 SECONDS...");
    EXPECT_EQ(main.text("START_STOP_BUTTON"), L"STOP");

    ASSERT_TRUE(recorderReceives(kMixedText + L"\r", 20s)) << toUtf8(recorded());
    const auto typed = Clock::now();
    EXPECT_EQ(program.waitForExit(20s), std::optional<DWORD>(0));
    const auto ended = Clock::now();
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    std::printf("typed %.2f s after the start, ended %.2f s after typing\n", seconds(typed - started),
                seconds(ended - typed));
    EXPECT_GE(seconds(typed - started), 9.5);
    EXPECT_GE(seconds(ended - typed), 9.5);
    EXPECT_EQ(stored("TEXT_TO_SEND_TEXTBOX"), kMixedNotation);
    EXPECT_EQ(stored("AUTOSTART_TICKBOX"), "1");
}

TEST_F(Program, KeyboardRolesAndTheAboutWindow)
{
    start();
    Driver main = mainWindow();
    // Esc presses START/STOP, from a multi-line edit too (which would
    // otherwise close the window).
    main.postKey("TEXT_TO_SEND_TEXTBOX", VK_ESCAPE);
    EXPECT_TRUE(main.textBecomes("START_STOP_BUTTON", L"STOP"));
    main.click("START_STOP_BUTTON");

    // Tab leaves the multi-line field for the next tab stop; Enter in it is a
    // line break, as the window has no default button.
    const auto hasFocus = [&main](std::string_view name) {
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        const DWORD threadId = GetWindowThreadProcessId(main.form(), nullptr);
        return waitFor([&] { return GetGUIThreadInfo(threadId, &thread) && thread.hwndFocus == main.control(name); });
    };
    PostMessageW(main.control("TEXT_TO_SEND_TEXTBOX"), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(main.control("TEXT_TO_SEND_TEXTBOX"), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(hasFocus("TEXT_TO_SEND_TEXTBOX"));
    main.postKey("TEXT_TO_SEND_TEXTBOX", VK_TAB);
    EXPECT_TRUE(hasFocus("READY_BUTTON"));
    main.postKey("READY_BUTTON", VK_TAB);
    EXPECT_TRUE(hasFocus("ABOUT_BUTTON")) << "the disabled SEND_BUTTON is skipped";
    main.setText("TEXT_TO_SEND_TEXTBOX", L"ab");
    SendMessageW(main.control("TEXT_TO_SEND_TEXTBOX"), EM_SETSEL, 1, 1);
    main.postKey("TEXT_TO_SEND_TEXTBOX", VK_RETURN);
    EXPECT_TRUE(main.textBecomes("TEXT_TO_SEND_TEXTBOX", L"a\r\nb"));
    EXPECT_EQ(main.text("START_STOP_BUTTON"), L"START");

    // Typing stops at 1000 characters; a paste is cut there without splitting
    // a surrogate pair.
    const HWND text = main.control("TEXT_TO_SEND_TEXTBOX");
    main.setText("TEXT_TO_SEND_TEXTBOX", std::wstring(998, L'a'));
    SendMessageW(text, EM_SETSEL, 998, 998);
    for (int i = 0; i < 3; ++i)
        SendMessageW(text, WM_CHAR, L'b', 1);
    EXPECT_EQ(main.text("TEXT_TO_SEND_TEXTBOX"), std::wstring(998, L'a') + L"bb");
    main.setText("TEXT_TO_SEND_TEXTBOX", std::wstring(999, L'a'));
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
    EXPECT_EQ(main.text("TEXT_TO_SEND_TEXTBOX"), std::wstring(999, L'a') + L"\U0001F600");

    // The About window: modal over the main window, the address on a
    // double-click, Enter presses OK, its position saved.
    main.click("ABOUT_BUTTON");
    const HWND aboutForm = findVisible(L"QM_PVX_FORM", L"QM-PVX - QM-Pellivox - ABOUT");
    ASSERT_NE(aboutForm, nullptr);
    const Driver about(aboutForm, design::kAboutWindow);
    EXPECT_FALSE(IsWindowEnabled(main.form()));
    EXPECT_EQ(GetWindow(aboutForm, GW_OWNER), main.form());
    PostMessageW(about.control("QM_PVX_CREATOR"), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_TRUE(about.textBecomes("QM_PVX_CREATOR", L"ketrovan5@quillmarsh.example"));
    about.postKey("OK_BUTTON", VK_RETURN);
    EXPECT_TRUE(waitFor([&] { return !IsWindow(aboutForm); }));
    EXPECT_TRUE(IsWindowEnabled(main.form()));
    EXPECT_EQ(stored("ABOUT-Left"), "1000");
    EXPECT_EQ(stored("ABOUT-Width"), std::nullopt);
    exitProgram(main);
}

// The options answer on the output they are given, and nothing starts.
TEST_F(Program, HelpVersionAndUnknownOptions)
{
    const Answer help = ask(L"--help");
    EXPECT_EQ(help.status, std::optional<DWORD>(0));
    EXPECT_TRUE(help.output.starts_with("Usage: " + name + " [--help | --version]\n")) << help.output;
    EXPECT_NE(help.output.find("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\QM_PVX\\" + name),
              std::string::npos) << help.output;

    const Answer version = ask(L"-V");
    EXPECT_EQ(version.status, std::optional<DWORD>(0));
    EXPECT_EQ(version.output, name + " (QM-PVX) 1.0\n");

    const Answer unknown = ask(L"/S Notepad");
    EXPECT_EQ(unknown.status, std::optional<DWORD>(2));
    EXPECT_TRUE(unknown.output.starts_with(name + ": takes no arguments but --help or --version, alone.\n"))
        << unknown.output;
    EXPECT_EQ(FindWindowW(L"QM_PVX_FORM", nullptr), nullptr);
    EXPECT_FALSE(stored("MAIN-Left")) << "nothing started, nothing saved";
}

} // namespace
} // namespace qmpvx::win32
