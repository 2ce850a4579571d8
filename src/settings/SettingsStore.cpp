#include "settings/SettingsStore.h"

#include "settings/NumberText.h"

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

std::string describe(const std::vector<BadSetting>& bad, const std::string& location)
{
    std::string message = bad.size() == 1 ? "A stored setting could not be used:"
                                          : "Some stored settings could not be used:";
    for (const BadSetting& setting : bad) {
        message += "\n  " + setting.key + " = " + quoteForMessage(setting.value) + " " + setting.problem +
                   "; the default " + setting.defaultUsed + " is used instead.";
    }
    message += "\nThe settings are kept in " + location +
               ". They are written again with good values at the next save.";
    return message;
}

} // namespace

BadStoredSettings::BadStoredSettings(const std::vector<BadSetting>& bad, const std::string& location)
    : std::runtime_error(describe(bad, location))
{
}

SettingsStore::SettingsStore(SettingsService& service, const Executable& executable)
    : service_(service), executable_(executable)
{
}

float SettingsStore::readSingle(std::string_view key, std::int16_t defaultValue, std::vector<BadSetting>& bad)
{
    const std::string text = service_.get(kSettingsApp, executable_.name(), key, defaultValue);
    const Conversion<float> converted = textToSingle(text);
    if (converted.value)
        return *converted.value;
    bad.push_back({std::string(key), text, std::string(converted.problem), std::to_string(defaultValue)});
    return defaultValue;
}

TickValue SettingsStore::readTick(std::string_view key, std::vector<BadSetting>& bad)
{
    const std::string text = service_.get(kSettingsApp, executable_.name(), key, kTickDefault);
    const Conversion<TickValue> converted = textToTick(text);
    if (converted.value)
        return *converted.value;
    bad.push_back({std::string(key), text, std::string(converted.problem), std::to_string(kTickDefault)});
    return kTickDefault;
}

std::string SettingsStore::readText(std::string_view key)
{
    return service_.get(kSettingsApp, executable_.name(), key);
}

void SettingsStore::write(std::string_view key, std::string_view value)
{
    service_.save(kSettingsApp, executable_.name(), key, value);
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
    main.WINDOW_NAME_TEXTBOX.setText(readText(kWindowName));
    main.TEXT_TO_SEND_TEXTBOX.setText(readText(kTextToSend));
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
    write(kWindowName, main.WINDOW_NAME_TEXTBOX.text());
    write(kTextToSend, main.TEXT_TO_SEND_TEXTBOX.text());
}

std::string SettingsStore::location()
{
    return service_.location(kSettingsApp, executable_.name());
}

} // namespace qmpvx
