#include "settings/SettingsStore.h"

#include "platform/keys/Utf8.h"
#include "settings/NumberText.h"

#include <algorithm>

namespace qmpvx {

namespace {

constexpr std::string_view kAutoStart = "AUTOSTART_TICKBOX";
constexpr std::string_view kAutoClose = "AUTOCLOSE_TICKBOX";
constexpr std::string_view kAutoEnter = "AUTO_ENTER_KEY_TICKBOX";
constexpr std::string_view kWindowName = "WINDOW_NAME_TEXTBOX";
constexpr std::string_view kTextToSend = "TEXT_TO_SEND_TEXTBOX";
constexpr std::int16_t kTickDefault = 0;

// A bad value is shown so the user can find it, but only so much of it, and
// with control characters made visible.
std::string quoteForMessage(std::string_view value)
{
    constexpr std::size_t kShown = 40;
    std::string shown;
    for (const char c : value.substr(0, kShown))
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    // Do not leave half of a UTF-8 sequence at the cut.
    if (value.size() > kShown) {
        while (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80)
            shown.pop_back();
        if (!shown.empty() && static_cast<unsigned char>(shown.back()) >= 0xC0)
            shown.pop_back();
        shown += "...";
    }
    return "\"" + shown + "\"";
}

bool isWholeStore(const BadSetting& setting) { return setting.key.empty(); }

std::string describe(const std::vector<BadSetting>& bad, const std::string& location)
{
    // Nothing else was read from a store that is not settings.
    if (const auto store = std::find_if(bad.begin(), bad.end(), isWholeStore); store != bad.end())
        return store->problem;

    std::string message = bad.size() == 1 ? "A stored setting could not be used:"
                                          : "Some stored settings could not be used:";
    bool defaulted = false;
    for (const BadSetting& setting : bad) {
        message += "\n  " + setting.key;
        if (setting.value)
            message += " = " + quoteForMessage(*setting.value);
        message += " " + setting.problem;
        if (setting.defaultUsed) {
            message += "; the default " + *setting.defaultUsed + " is used instead";
            defaulted = true;
        }
        message += ".";
    }
    message += "\nThe settings are kept in " + location + ".";
    if (defaulted)
        message += " The defaults are written in place of the bad values at the next save.";
    return message;
}

bool isUtf8(std::string_view text) { return !keys::decodeUtf8(text).invalidByte; }

} // namespace

BadStoredSettings::BadStoredSettings(const std::vector<BadSetting>& bad, const std::string& location)
    : std::runtime_error(describe(bad, location))
{
}

SettingsStore::SettingsStore(SettingsService& service, const Executable& executable)
    : service_(service), executable_(executable)
{
}

// A store that is not settings reads as empty, so every value takes its default.
std::optional<std::string> SettingsStore::lookup(std::string_view key, std::vector<BadSetting>& bad)
{
    try {
        return service_.lookup(kSettingsApp, executable_.name(), key);
    } catch (const UnusableSettingsStore& error) {
        unusableStoreReported_ = true;
        if (std::none_of(bad.begin(), bad.end(), isWholeStore)) {
            bad.push_back({"", std::nullopt,
                           std::string(error.what()) +
                               " The program runs on its defaults and saves no settings while it is there: "
                               "move it away, or delete it, to start afresh.",
                           std::nullopt});
        }
        return std::nullopt;
    }
}

float SettingsStore::readSingle(std::string_view key, std::int16_t defaultValue, std::vector<BadSetting>& bad)
{
    const std::string text = lookup(key, bad).value_or(std::to_string(defaultValue));
    const Conversion<float> converted = textToSingle(text);
    if (converted.value)
        return *converted.value;
    bad.push_back({std::string(key), text, std::string(converted.problem), std::to_string(defaultValue)});
    return defaultValue;
}

TickValue SettingsStore::readTick(std::string_view key, std::vector<BadSetting>& bad)
{
    const std::string text = lookup(key, bad).value_or(std::to_string(kTickDefault));
    const Conversion<TickValue> converted = textToTick(text);
    if (converted.value)
        return *converted.value;
    bad.push_back({std::string(key), text, std::string(converted.problem), std::to_string(kTickDefault)});
    return kTickDefault;
}

std::string SettingsStore::readText(std::string_view key, std::vector<BadSetting>& bad)
{
    std::string text = lookup(key, bad).value_or(std::string());
    if (!isUtf8(text)) {
        bad.push_back({std::string(key), std::nullopt,
                       "is not valid UTF-8 text, so it cannot be shown exactly; enter it again. Until you do, it "
                       "is kept as stored and never typed",
                       std::nullopt});
    }
    return text;
}

void SettingsStore::write(std::string_view key, std::string_view value)
{
    try {
        service_.save(kSettingsApp, executable_.name(), key, value);
    } catch (const UnusableSettingsStore& error) {
        if (unusableStoreReported_)
            return;
        // It became unusable while the program ran: say so once, then go on as
        // after a load that found it so.
        unusableStoreReported_ = true;
        throw UnusableSettingsStore(std::string(error.what()) +
                                    " No settings are saved while it is there: move it away, or delete it, "
                                    "to save them again.");
    }
}

// Bytes that are not UTF-8 can only be the stored text, never edited: writing
// them back could only mangle what is stored.
void SettingsStore::writeText(std::string_view key, const TextField& field)
{
    const std::string text = field.text();
    if (isUtf8(text))
        write(key, text);
}

std::vector<BadSetting> SettingsStore::restoreGeometry(Window& window, const GeometryKeys& keys)
{
    std::vector<BadSetting> bad;
    window.setLeft(readSingle(keys.left, keys.defaultLeft, bad));
    window.setTop(readSingle(keys.top, keys.defaultTop, bad));
    window.setWidth(readSingle(keys.width, keys.defaultWidth, bad));
    window.setHeight(readSingle(keys.height, keys.defaultHeight, bad));
    return bad;
}

std::vector<BadSetting> SettingsStore::restoreMainControls(MainWindow& main)
{
    std::vector<BadSetting> bad;
    main.AUTOSTART_TICKBOX.setValue(readTick(kAutoStart, bad));
    main.AUTOCLOSE_TICKBOX.setValue(readTick(kAutoClose, bad));
    main.AUTO_ENTER_KEY_TICKBOX.setValue(readTick(kAutoEnter, bad));
    main.WINDOW_NAME_TEXTBOX.setText(readText(kWindowName, bad));
    main.TEXT_TO_SEND_TEXTBOX.setText(readText(kTextToSend, bad));
    return bad;
}

void SettingsStore::saveGeometry(const Window& window, const GeometryKeys& keys)
{
    write(keys.left, singleToText(window.left()));
    write(keys.top, singleToText(window.top()));
}

void SettingsStore::saveMainWindow(const MainWindow& main)
{
    saveGeometry(main.QM_PVX_MAIN, kMainGeometry);
    write(kAutoStart, tickToText(main.AUTOSTART_TICKBOX.value()));
    write(kAutoClose, tickToText(main.AUTOCLOSE_TICKBOX.value()));
    write(kAutoEnter, tickToText(main.AUTO_ENTER_KEY_TICKBOX.value()));
    writeText(kWindowName, main.WINDOW_NAME_TEXTBOX);
    writeText(kTextToSend, main.TEXT_TO_SEND_TEXTBOX);
}

std::string SettingsStore::location()
{
    return service_.location(kSettingsApp, executable_.name());
}

} // namespace qmpvx
