#include "platform/win32/Win32Automation.h"

#include "platform/Executable.h"
#include "platform/ShellObjects.h"
#include "platform/TitleMatch.h"
#include "platform/keys/KeyNotation.h"
#include "platform/keys/Utf8.h"
#include "platform/win32/Utf16.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace qmpvx::win32 {

namespace {

constexpr auto kActivationTimeout = std::chrono::seconds(2);

// Visible top-level windows of other processes with a title, topmost first
// (EnumWindows walks the z-order from the top).
std::vector<TitledWindow> candidates()
{
    std::vector<TitledWindow> windows;
    EnumWindows(
        [](HWND window, LPARAM found) -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (!IsWindowVisible(window) || process == GetCurrentProcessId())
                return TRUE;
            const std::wstring title = wideWindowText(window);
            if (title.empty())
                return TRUE;
            reinterpret_cast<std::vector<TitledWindow>*>(found)->push_back(
                {reinterpret_cast<std::uint64_t>(window), toUtf8(title)});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// A process's mandatory integrity level (low, medium, high, system); nothing
// when it cannot be read, and "denied" when Windows refuses to tell.
struct IntegrityLevel {
    std::optional<DWORD> level;
    bool denied = false;
};

IntegrityLevel integrityLevelOf(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return {std::nullopt, GetLastError() == ERROR_ACCESS_DENIED};
    const OwnedHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size))
        return {};
    const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    if (count == 0)
        return {};
    return {*GetSidSubAuthority(sid, count - 1U), false};
}

// Windows drops keys sent to a program of a higher integrity level (one run
// as administrator) without a word: say so instead of typing into nothing.
void refuseHigherIntegrity(HWND window, std::string_view title)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const IntegrityLevel own = integrityLevelOf(GetCurrentProcess());
    IntegrityLevel target;
    if (const OwnedHandle process{OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)})
        target = integrityLevelOf(process.get());
    else
        target.denied = GetLastError() == ERROR_ACCESS_DENIED;
    const bool higher = own.level && (target.denied || (target.level && *target.level > *own.level));
    if (higher)
        throw std::runtime_error("The window \"" + std::string(title) +
                                 "\" belongs to a program running with higher rights (as administrator). "
                                 "Windows blocks typing into it from QM-PVX. Run both programs with the same "
                                 "rights. Nothing was typed.");
}

// The target, or a window it owns (a dialog of it), is in front.
bool inFront(HWND target)
{
    const HWND foreground = GetForegroundWindow();
    return foreground && (foreground == target || GetAncestor(foreground, GA_ROOTOWNER) == target);
}

INPUT keyInput(WORD virtualKey, WORD scan, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    return input;
}

struct VirtualKey {
    WORD code;
    bool extended;
};

VirtualKey virtualKeyOf(keys::NamedKey key)
{
    using keys::NamedKey;
    if (key >= NamedKey::F1 && key <= NamedKey::F16)
        return {static_cast<WORD>(VK_F1 + (static_cast<int>(key) - static_cast<int>(NamedKey::F1))), false};
    switch (key) {
    case NamedKey::Backspace: return {VK_BACK, false};
    case NamedKey::Break: return {VK_CANCEL, true};
    case NamedKey::CapsLock: return {VK_CAPITAL, false};
    case NamedKey::Clear: return {VK_CLEAR, false};
    case NamedKey::Delete: return {VK_DELETE, true};
    case NamedKey::Down: return {VK_DOWN, true};
    case NamedKey::End: return {VK_END, true};
    case NamedKey::Enter: return {VK_RETURN, false};
    case NamedKey::Escape: return {VK_ESCAPE, false};
    case NamedKey::Help: return {VK_HELP, false};
    case NamedKey::Home: return {VK_HOME, true};
    case NamedKey::Insert: return {VK_INSERT, true};
    case NamedKey::Left: return {VK_LEFT, true};
    case NamedKey::NumLock: return {VK_NUMLOCK, true};
    case NamedKey::PageDown: return {VK_NEXT, true};
    case NamedKey::PageUp: return {VK_PRIOR, true};
    case NamedKey::PrintScreen: return {VK_SNAPSHOT, true};
    case NamedKey::Right: return {VK_RIGHT, true};
    case NamedKey::ScrollLock: return {VK_SCROLL, false};
    case NamedKey::Tab: return {VK_TAB, false};
    case NamedKey::Up: return {VK_UP, true};
    case NamedKey::KeypadAdd: return {VK_ADD, false};
    case NamedKey::KeypadSubtract: return {VK_SUBTRACT, false};
    case NamedKey::KeypadMultiply: return {VK_MULTIPLY, false};
    case NamedKey::KeypadDivide: return {VK_DIVIDE, true};
    default: return {0, false};
    }
}

WORD virtualKeyOf(keys::Modifier modifier)
{
    switch (modifier) {
    case keys::Modifier::Shift: return VK_SHIFT;
    case keys::Modifier::Ctrl: return VK_CONTROL;
    case keys::Modifier::Alt: return VK_MENU;
    }
    return 0;
}

// Key events on their way to the target; every key still held is let go
// however typing ends.
class Typist {
public:
    Typist(HWND target, const std::string& title) : target_(target), title_(title) {}
    ~Typist() { releaseAll(); }
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    void virtualKey(WORD code, bool extended, bool press)
    {
        const WORD scan = static_cast<WORD>(MapVirtualKeyW(code, MAPVK_VK_TO_VSC));
        DWORD flags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (press ? 0 : KEYEVENTF_KEYUP);
        send({keyInput(code, scan, flags)});
        if (press)
            held_.push_back({code, extended});
        else
            std::erase_if(held_, [code](const VirtualKey& key) { return key.code == code; });
    }

    // Layout-independent: the character itself, one UTF-16 unit at a time.
    void character(char32_t c)
    {
        std::vector<INPUT> inputs;
        std::string utf8;
        keys::appendUtf8(utf8, c);
        for (const wchar_t unit : toUtf16(utf8)) {
            inputs.push_back(keyInput(0, static_cast<WORD>(unit), KEYEVENTF_UNICODE));
            inputs.push_back(keyInput(0, static_cast<WORD>(unit), KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
        }
        send(inputs);
    }

    void checkFront(std::size_t typed, std::size_t total) const
    {
        if (!inFront(target_))
            throw std::runtime_error("Typing stopped: the window \"" + title_ + "\" lost the focus after " +
                                     std::to_string(typed) + " of " + std::to_string(total) +
                                     " keys. Nothing further was typed.");
    }

    void releaseAll() noexcept
    {
        while (!held_.empty()) {
            const VirtualKey key = held_.back();
            held_.pop_back();
            const WORD scan = static_cast<WORD>(MapVirtualKeyW(key.code, MAPVK_VK_TO_VSC));
            INPUT up = keyInput(key.code, scan, KEYEVENTF_KEYUP | (key.extended ? KEYEVENTF_EXTENDEDKEY : 0));
            SendInput(1, &up, sizeof(INPUT));
        }
    }

private:
    void send(std::vector<INPUT> inputs)
    {
        const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        if (sent != inputs.size())
            throw std::runtime_error("Windows refused to type into \"" + title_ +
                                     "\" (another program may block input). Typing stopped.");
    }

    HWND target_;
    const std::string& title_;
    std::vector<VirtualKey> held_;
};

} // namespace

std::string executableName()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return executableNameFromPath(toUtf8(path), true);
}

void Win32Automation::AppActivate(std::string_view title)
{
    target_ = nullptr;
    if (title.empty())
        throw std::runtime_error("No target window title is set. Enter the title of the window to type into.");
    const std::vector<TitledWindow> windows = candidates();
    const auto found = findByTitle(windows, title);
    if (!found)
        throw std::runtime_error("No window with the title \"" + std::string(title) +
                                 "\" or a title beginning with it is open. Nothing was typed.");
    const HWND window = reinterpret_cast<HWND>(windows[*found].id);
    refuseHigherIntegrity(window, title);
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    if (!inFront(window)) {
        // The foreground lock lets the thread that has the input give it away.
        const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
        const DWORD ownThread = GetCurrentThreadId();
        const bool attached = foregroundThread && foregroundThread != ownThread &&
                              AttachThreadInput(ownThread, foregroundThread, TRUE);
        SetForegroundWindow(window);
        if (attached)
            AttachThreadInput(ownThread, foregroundThread, FALSE);
    }
    if (!inFront(window)) {
        // Last resort: a key event of this process lifts the lock.
        INPUT alt[2] = {keyInput(VK_MENU, 0, 0), keyInput(VK_MENU, 0, KEYEVENTF_KEYUP)};
        SendInput(2, alt, sizeof(INPUT));
        SetForegroundWindow(window);
    }
    const auto deadline = std::chrono::steady_clock::now() + kActivationTimeout;
    while (!inFront(window)) {
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error("Could not bring the window \"" + std::string(title) +
                                     "\" to the foreground. Nothing was typed.");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    target_ = window;
    title_ = std::string(title);
}

std::unique_ptr<ShellObject> Win32Automation::CreateObject(std::string_view className)
{
    return createShellObject(className, [this](std::string_view keys, bool wait) { type(keys, wait); });
}

void Win32Automation::type(std::string_view keys, bool wait)
{
    const std::vector<keys::KeyAction> actions =
        keysToType(keys, target_ ? std::optional<std::string>(title_) : std::nullopt);
    const auto total = static_cast<std::size_t>(std::ranges::count_if(actions, &keys::KeyAction::isTap));

    // A round trip through the target's message queue after each key paces
    // the typing to the target's reading, and makes the wait at the end mean
    // that the target has taken every key (the best the platform offers).
    const auto roundTrip = [this] {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(target_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    };
    Typist typist(target_, title_);
    std::size_t typed = 0;
    for (const keys::KeyAction& action : actions) {
        typist.checkFront(typed, total);
        if (wait)
            roundTrip();
        switch (action.kind) {
        case keys::KeyAction::Kind::Press:
        case keys::KeyAction::Kind::Release:
            typist.virtualKey(virtualKeyOf(action.modifier), false, action.kind == keys::KeyAction::Kind::Press);
            break;
        case keys::KeyAction::Kind::Character:
            typist.character(action.character);
            ++typed;
            break;
        case keys::KeyAction::Kind::Key: {
            const VirtualKey key = virtualKeyOf(action.key);
            typist.virtualKey(key.code, key.extended, true);
            typist.virtualKey(key.code, key.extended, false);
            ++typed;
            break;
        }
        }
    }
    typist.releaseAll();
    if (wait)
        roundTrip();
}

} // namespace qmpvx::win32
