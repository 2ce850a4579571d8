#pragma once

#include "core/MainWindow.h"
#include "platform/Executable.h"
#include "platform/SettingsService.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qmpvx {

inline constexpr std::string_view kSettingsApp = "QM_PVX";

// The four keys and defaults (twips) of one window's geometry.
struct GeometryKeys {
    std::string_view left, top, width, height;
    std::int16_t defaultLeft, defaultTop, defaultWidth, defaultHeight;
};

inline constexpr GeometryKeys kMainGeometry{"MAIN-Left", "MAIN-Top", "MAIN-Width", "MAIN-Height",
                                            1000, 1000, 9480, 6240};
inline constexpr GeometryKeys kAboutGeometry{"ABOUT-Left", "ABOUT-Top", "ABOUT-Width", "ABOUT-Height",
                                             1000, 1000, 7215, 3105};

// A stored value that did not convert; the default was used in its place.
struct BadSetting {
    std::string key;
    std::string value;
    std::string problem;
    std::string defaultUsed;
};

// Raised once a load has finished with defaults in place of bad stored values,
// so the window is usable and the next save writes good values back.
class BadStoredSettings : public std::runtime_error {
public:
    BadStoredSettings(const std::vector<BadSetting>& bad, const std::string& location);
};

// What the program remembers between runs: names, defaults, conversions, and
// the moments of reading and writing. Every read and write goes straight to
// the service, under a section named after the executable at that moment.
class SettingsStore {
public:
    SettingsStore(SettingsService& service, const Executable& executable);

    // Each value is applied as soon as it is read. A bad value is replaced by
    // its default and listed in the result.
    std::vector<BadSetting> restoreGeometry(Window& window, const GeometryKeys& keys);
    std::vector<BadSetting> restoreMainControls(MainWindow& main);

    // Only left and top are written: the size keys are read, never written.
    void saveGeometry(const Window& window, const GeometryKeys& keys);
    void saveMainWindow(const MainWindow& main);

    std::string location();

private:
    float readSingle(std::string_view key, std::int16_t defaultValue, std::vector<BadSetting>& bad);
    TickValue readTick(std::string_view key, std::vector<BadSetting>& bad);
    std::string readText(std::string_view key);
    void write(std::string_view key, std::string_view value);

    SettingsService& service_;
    const Executable& executable_;
};

} // namespace qmpvx
