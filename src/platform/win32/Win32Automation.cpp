#include "platform/win32/Win32Automation.h"

#include "platform/Executable.h"
#include "platform/ShellObjects.h"
#include "platform/TitleMatch.h"
#include "platform/keys/KeyNotation.h"
#include "platform/win32/LayoutKeys.h"
#include "platform/win32/Utf16.h"

#include <algorithm>
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
        throw std::runtime_error("The window " + quotedTitle(title) +
                                 " belongs to a program running with higher rights (as administrator). "
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

// Key events on their way to the target; every key still down is let go
// however typing ends.
class Typist {
public:
    Typist(HWND target, const std::string& title, HKL layout) : target_(target), title_(title), layout_(layout) {}
    ~Typist() { releaseAll(); }
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    void send(const std::vector<KeyStroke>& strokes)
    {
        std::vector<INPUT> inputs;
        inputs.reserve(strokes.size());
        for (const KeyStroke& stroke : strokes)
            inputs.push_back(inputOf(stroke));
        const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        // What went out is down until its release went out too.
        for (std::size_t i = 0; i < sent && i < strokes.size(); ++i) {
            const KeyStroke& stroke = strokes[i];
            const auto same = [&stroke](const KeyStroke& down) {
                return down.virtualKey == stroke.virtualKey && down.unit == stroke.unit;
            };
            if (stroke.up)
                std::erase_if(held_, same);
            else if (std::ranges::none_of(held_, same))
                held_.push_back(stroke);
        }
        if (sent != inputs.size())
            throw std::runtime_error("Windows refused to type into " + quotedTitle(title_) +
                                     " (another program may block input). Typing stopped.");
    }

    void checkFront(std::size_t typed, std::size_t total) const
    {
        if (!inFront(target_))
            throw std::runtime_error("Typing stopped: the window " + quotedTitle(title_) + " lost the focus after " +
                                     std::to_string(typed) + " of " + std::to_string(total) +
                                     " keys. Nothing further was typed.");
    }

    void releaseAll() noexcept
    {
        while (!held_.empty()) {
            KeyStroke release = held_.back();
            held_.pop_back();
            release.up = true;
            INPUT up = inputOf(release);
            SendInput(1, &up, sizeof(INPUT));
        }
    }

private:
    // Scan codes of the target's layout: a program that reads them sees the
    // key a keyboard with that layout would have.
    INPUT inputOf(const KeyStroke& stroke) const
    {
        const DWORD up = stroke.up ? KEYEVENTF_KEYUP : 0;
        if (stroke.virtualKey == 0)
            return keyInput(0, stroke.unit, KEYEVENTF_UNICODE | up);
        const auto scan = static_cast<WORD>(MapVirtualKeyExW(stroke.virtualKey, MAPVK_VK_TO_VSC, layout_));
        return keyInput(stroke.virtualKey, scan, (stroke.extended ? KEYEVENTF_EXTENDEDKEY : 0) | up);
    }

    HWND target_;
    const std::string& title_;
    HKL layout_;
    std::vector<KeyStroke> held_;
};

// Caps Lock would make capitals of the layout's letters (Unicode events
// ignore it): off while typing, locked again afterwards, with no key held.
class CapsLockOff {
public:
    CapsLockOff(Typist& typist, HWND target) : typist_(typist), wasOn_(capsLockOn(target))
    {
        if (wasOn_)
            typist_.send(kTap);
    }
    ~CapsLockOff()
    {
        typist_.releaseAll();
        if (!wasOn_)
            return;
        try {
            typist_.send(kTap);
        } catch (...) {
            // Windows refuses input now; nothing more can be done.
        }
    }
    CapsLockOff(const CapsLockOff&) = delete;
    CapsLockOff& operator=(const CapsLockOff&) = delete;

private:
    // A thread's key state follows the input it has read, so read the
    // target's: the keys go to it, and this program's may be stale.
    static bool capsLockOn(HWND target)
    {
        const DWORD own = GetCurrentThreadId();
        const DWORD theirs = GetWindowThreadProcessId(target, nullptr);
        const bool attached = theirs && theirs != own && AttachThreadInput(own, theirs, TRUE);
        const bool on = GetKeyState(VK_CAPITAL) & 1;
        if (attached)
            AttachThreadInput(own, theirs, FALSE);
        return on;
    }

    static inline const std::vector<KeyStroke> kTap{{VK_CAPITAL, 0, false, false}, {VK_CAPITAL, 0, false, true}};
    Typist& typist_;
    bool wasOn_;
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
        throw std::runtime_error("No window with the title " + quotedTitle(title) +
                                 " or a title beginning with it is open. Nothing was typed.");
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
            throw std::runtime_error("Could not bring the window " + quotedTitle(title) +
                                     " to the foreground. Nothing was typed.");
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
    const HKL layout = GetKeyboardLayout(GetWindowThreadProcessId(target_, nullptr));
    const std::vector<KeyStep> steps = planKeySteps(actions, layoutLookup(layout), title_);
    const auto total = static_cast<std::size_t>(std::ranges::count_if(steps, &KeyStep::tap));

    // A round trip through the target's message queue after each key paces
    // the typing to the target's reading, and makes the wait at the end mean
    // that the target has taken every key (the best the platform offers).
    const auto roundTrip = [this] {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(target_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    };
    Typist typist(target_, title_, layout);
    const CapsLockOff capsLockOff(typist, target_);
    std::size_t typed = 0;
    for (const KeyStep& step : steps) {
        typist.checkFront(typed, total);
        if (wait)
            roundTrip();
        typist.send(step.strokes);
        if (step.tap)
            ++typed;
    }
    typist.releaseAll();
    if (wait)
        roundTrip();
}

} // namespace qmpvx::win32
