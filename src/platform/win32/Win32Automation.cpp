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
// How long the target may take to read the keys sent so far.
constexpr auto kReadTimeout = std::chrono::seconds(10);
// How long Windows may take to show a key that this program pressed as down.
constexpr auto kKeyStateTimeout = std::chrono::milliseconds(100);

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

struct RegionDeleter {
    void operator()(HRGN region) const { DeleteObject(region); }
};
using OwnedRegion = std::unique_ptr<std::remove_pointer_t<HRGN>, RegionDeleter>;

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

// A menu of the window's program is open: keys go to the menu.
bool menuOpen(HWND window)
{
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) &&
           (thread.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE)) != 0;
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

// The window of the target's program that the keys go to: the one with the
// focus, or the target itself.
HWND keyWindow(HWND target)
{
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(target, nullptr), &thread) && thread.hwndFocus)
        return thread.hwndFocus;
    return target;
}

std::string modifierName(WORD virtualKey)
{
    switch (virtualKey) {
    case VK_SHIFT: return "Shift";
    case VK_CONTROL: return "Ctrl";
    case VK_MENU: return "Alt";
    default: return {};
    }
}

// Key events on their way to the target; every key still down is let go
// however typing ends.
class Typist {
public:
    Typist(HWND target, const std::string& title, HKL layout, std::size_t total)
        : target_(target), title_(title), layout_(layout), total_(total)
    {
    }
    ~Typist() { releaseAll(); }
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // A modifier is let go only after checking that it was still down for
    // the keys before: the system may let go of it meanwhile (Wine does when
    // the window manager moves the focus), and those keys arrive without it.
    void send(const std::vector<KeyStroke>& strokes)
    {
        std::size_t begin = 0;
        for (std::size_t i = 0; i < strokes.size(); ++i)
            if (strokes[i].up && !modifierName(strokes[i].virtualKey).empty()) {
                sendRange(strokes, begin, i);
                begin = i;
            }
        sendRange(strokes, begin, strokes.size());
    }

    void countTap() { ++typed_; }

    void checkFront() const
    {
        if (!inFront(target_))
            throw std::runtime_error("Typing stopped: the window " + quotedTitle(title_) + " lost the focus after " +
                                     progress() + " (the last of them may have gone to the other window). " +
                                     "Nothing further was typed.");
        if (menuOpen(target_))
            throw std::runtime_error("Typing stopped: a menu of the window " + quotedTitle(title_) +
                                     " is open and takes the keys, after " + progress() +
                                     ". Close the menu and send again. Nothing further was typed.");
    }

    // Returns once the target has read every key sent so far. An answer to a
    // message alone does not say so, as a program handles messages sent to it
    // before its input; but it is given WM_PAINT only when no message and no
    // input is left for it. So a pixel of the window the keys go to is marked
    // for painting, and its painting is awaited.
    void awaitReading() const
    {
        const HWND window = keyWindow(target_);
        RECT pixel{0, 0, 1, 1};
        InvalidateRect(window, &pixel, FALSE);
        // GetUpdateRgn, as Wine's GetUpdateRect sees no other program's region.
        const OwnedRegion region(CreateRectRgn(0, 0, 0, 0));
        const auto toPaint = [&] { return GetUpdateRgn(window, region.get(), FALSE) > NULLREGION; };
        // Painted at once (nothing was left to read), or nothing to paint (a
        // window without a client area): then its answer is all there is.
        const bool marked = toPaint();
        const auto deadline = std::chrono::steady_clock::now() + kReadTimeout;
        for (;;) {
            DWORD_PTR ignored = 0;
            const bool answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored) != 0;
            if (answered && !(marked && toPaint()))
                return;
            if (std::chrono::steady_clock::now() >= deadline)
                throw std::runtime_error("Typing stopped: the window " + quotedTitle(title_) +
                                         " did not read the keys within " +
                                         std::to_string(std::chrono::seconds(kReadTimeout).count()) +
                                         " seconds (it may be busy or not responding), after " + progress() +
                                         ". Check what arrived there.");
        }
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
    std::string progress() const { return std::to_string(typed_) + " of " + std::to_string(total_) + " keys"; }

    void sendRange(const std::vector<KeyStroke>& strokes, std::size_t begin, std::size_t end)
    {
        if (begin == end)
            return;
        std::vector<INPUT> inputs;
        inputs.reserve(end - begin);
        for (std::size_t i = begin; i < end; ++i)
            inputs.push_back(inputOf(strokes[i]));
        const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        // What went out is down until its release went out too.
        for (std::size_t i = 0; i < sent && i < inputs.size(); ++i) {
            const KeyStroke& stroke = strokes[begin + i];
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
        checkModifiersDown();
    }

    // Keys sent with a modifier held are typed with it only if nothing let
    // go of it before them: what this program pressed shows as down in the
    // keyboard's state at once, and stays down until it lets go itself.
    void checkModifiersDown() const
    {
        const auto deadline = std::chrono::steady_clock::now() + kKeyStateTimeout;
        for (const KeyStroke& down : held_) {
            const std::string name = modifierName(down.virtualKey);
            if (name.empty())
                continue;
            while ((GetAsyncKeyState(down.virtualKey) & 0x8000) == 0) {
                if (std::chrono::steady_clock::now() >= deadline)
                    throw std::runtime_error("Typing stopped: the " + name + " key was let go by something other " +
                                             "than QM-PVX while typing into " + quotedTitle(title_) + ", after " +
                                             progress() + ", so the last of them may have arrived without it. " +
                                             "Nothing further was typed.");
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

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
    std::size_t total_;
    std::size_t typed_ = 0;
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
    // The target takes the activation when it next reads its messages: a
    // round trip before each check, so that a busy target is not taken for a
    // refusal (the last resort's Alt would then reach it and open its menu).
    const auto inFrontOnceRead = [window] {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
        return inFront(window);
    };
    SetForegroundWindow(window);
    if (!inFrontOnceRead()) {
        // The foreground lock lets the thread that has the input give it away.
        const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
        const DWORD ownThread = GetCurrentThreadId();
        const bool attached = foregroundThread && foregroundThread != ownThread &&
                              AttachThreadInput(ownThread, foregroundThread, TRUE);
        SetForegroundWindow(window);
        if (attached)
            AttachThreadInput(ownThread, foregroundThread, FALSE);
    }
    if (!inFrontOnceRead()) {
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

    // Waiting for the target to read each key before the next paces the
    // typing to the target, and a window that takes the focus meanwhile
    // (Wine follows the window manager's focus, late) gets none of the keys
    // after the check. The wait at the end is made however the keys were
    // asked for: a window in front whose keys went elsewhere is no success.
    Typist typist(target_, title_, layout, total);
    const CapsLockOff capsLockOff(typist, target_);
    // What reached the target before the text (its activation) is read first.
    typist.awaitReading();
    for (const KeyStep& step : steps) {
        typist.checkFront();
        typist.send(step.strokes);
        if (step.tap)
            typist.countTap();
        if (wait)
            typist.awaitReading();
    }
    typist.releaseAll();
    typist.awaitReading();
    typist.checkFront();
}

} // namespace qmpvx::win32
