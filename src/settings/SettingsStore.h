#pragma once

#include "forms/MainWindow.h"
#include "platform/Executable.h"
#include "platform/SettingsService.h"

#include <cstdint>
#include <optional>
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

// A stored value that could not be used. A text is never quoted (it may be a
// password) and has no default: its field keeps what is stored. An empty key
// stands for the whole store, which could not be read as settings at all.
struct BadSetting {
    std::string key;
    std::optional<std::string> value;
    std::string problem;
    std::optional<std::string> defaultUsed;
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
    // its default and listed in the result; a text that is not valid UTF-8 is
    // listed and set as it is. A store that is not settings at all is listed
    // once, and every value takes its default.
    std::vector<BadSetting> restoreGeometry(Window& window, const GeometryKeys& keys);
    std::vector<BadSetting> restoreMainControls(MainWindow& main);

    // Only left and top are written: the size keys are read, never written.
    // A text that is not valid UTF-8 is the stored one, never edited: it is
    // left in the store as it is. Saves to a store reported as unusable at a
    // load do nothing; the report said so.
    void saveGeometry(const Window& window, const GeometryKeys& keys);
    void saveMainWindow(const MainWindow& main);

    std::string location();

private:
    std::optional<std::string> lookup(std::string_view key, std::vector<BadSetting>& bad);
    float readSingle(std::string_view key, std::int16_t defaultValue, std::vector<BadSetting>& bad);
    TickValue readTick(std::string_view key, std::vector<BadSetting>& bad);
    std::string readText(std::string_view key, std::vector<BadSetting>& bad);
    void write(std::string_view key, std::string_view value);
    void writeText(std::string_view key, const TextField& field);

    SettingsService& service_;
    const Executable& executable_;
    bool unusableStoreReported_ = false;
};

} // namespace qmpvx
