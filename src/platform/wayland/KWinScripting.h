#pragma once

#include "platform/wayland/SessionBus.h"

#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sd_bus_slot;

namespace qmpvx::wayland {

// A window as KWin's scripting lists it.
struct KWinWindow {
    std::string id; // KWin's internal id, a UUID in braces
    std::string caption;
    std::int64_t pid = 0;
    std::string resourceClass;
    std::int64_t stackingOrder = 0; // higher is nearer the top
};

// KWin's windows through its scripting over D-Bus: scripts this program
// loads into KWin report back to an object it exports on the session bus,
// which takes reports from KWin only. Whatever is loaded is unloaded again.
class KWinScripting {
public:
    // Throws std::runtime_error when the session bus or KWin on it cannot be reached.
    KWinScripting();
    ~KWinScripting();
    KWinScripting(const KWinScripting&) = delete;
    KWinScripting& operator=(const KWinScripting&) = delete;

    // Whether KWin holds its name on the session bus.
    static bool kwinOnSessionBus() noexcept;

    // KWin's normal windows (no panels, desktops, notifications), topmost first.
    std::vector<KWinWindow> windows();

    // Loads a script that reports every change of the active window and the
    // closing of `id`; with `activate`, it makes `id` the active window first.
    // Returns once the script has reported the active window.
    void watch(const std::string& id, bool activate);
    void stopWatching() noexcept;
    bool watching() const { return watcher_ != nullptr; }

    // The layout of KWin's keymap that its keyboard uses now.
    xkb_layout_index_t currentLayout();

    // Every report KWin sent before this call has been handled when it
    // returns: it asks KWin something it answers in the thread that
    // reports. False when the watching script is no longer loaded.
    bool sync();
    void dispatchWithin(std::chrono::milliseconds timeout) { bus_.dispatchWithin(timeout); }

    // What the watching script reported last: the active window ("" when
    // none), and whether the watched one closed.
    const std::string& activeWindow() const { return active_; }
    bool watchedClosed() const { return watchedClosed_; }

private:
    class LoadedScript;

    // Takes the reports off the bus: a plain function, as sd-bus calls it.
    struct Receiver;
    // A killed run leaves its script loaded in KWin, reporting to nobody.
    void unloadScriptsOfEndedRuns() noexcept;
    void report(const std::string& what, const std::vector<std::string>& arguments);
    // A name no script of this program had yet: qm-pvx-PURPOSE-PID-N.
    std::string newScriptName(const std::string& purpose);
    std::unique_ptr<LoadedScript> load(const std::string& pluginName, const std::string& body);
    // The start of every script: where and how it reports.
    std::string prelude(const std::string& pluginName) const;

    SessionBus bus_;
    std::string kwin_; // KWin's unique name: reports from anyone else are refused
    sd_bus_slot* object_ = nullptr;
    unsigned scripts_ = 0;

    std::string listing_; // plugin name of the listing script while it runs
    bool listed_ = false;
    std::vector<KWinWindow> windows_;

    std::unique_ptr<LoadedScript> watcher_;
    std::string watcherName_;
    std::optional<std::string> reportedActive_;
    std::string active_;
    bool watchedClosed_ = false;
};

} // namespace qmpvx::wayland
