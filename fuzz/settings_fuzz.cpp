// Stored settings as anything may leave them. Each value that converts is
// used as it converts and saved as text that converts to the same value; a
// value that does not is reported and replaced by its default; a text is kept
// byte for byte. The input holds the stored values, NUL-separated, in the
// order of the keys below; missing ones are absent from the store.
#include "Check.h"
#include "Fakes.h"
#include "platform/keys/Utf8.h"
#include "settings/NumberText.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

using namespace qmpvx;
using qmpvx::fuzz::check;

namespace {

constexpr std::string_view kSection = "qm-pvx";
constexpr std::string_view kKeys[] = {"MAIN-Left", "MAIN-Top", "MAIN-Width", "MAIN-Height",
                                      "AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX", "AUTO_ENTER_KEY_TICKBOX",
                                      "WINDOW_NAME_TEXTBOX", "TEXT_TO_SEND_TEXTBOX"};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Plain decimal notation, read by hand: [+-] digits [. digits] [e [+-] digits],
// blanks around it.
bool isDecimalText(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}

bool sameSingle(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

void checkConversions(std::string_view text)
{
    const Conversion<float> single = textToSingle(text);
    check(single.value.has_value() == single.problem.empty(), "a conversion has a value or a problem");
    if (single.value) {
        check(isDecimalText(text), "only decimal texts read as numbers");
        const std::string written = singleToText(*single.value);
        check(isDecimalText(written), "a number is written in decimal");
        const Conversion<float> back = textToSingle(written);
        check(back.value && sameSingle(*back.value, *single.value), "a written number reads back the same");
    }

    const Conversion<TickValue> tick = textToTick(text);
    check(tick.value.has_value() == tick.problem.empty(), "a tick conversion has a value or a problem");
    if (tick.value) {
        check(isDecimalText(text), "only decimal texts read as tick values");
        check(*tick.value >= 0 && *tick.value <= 2, "tick values are 0, 1 or 2");
        check(textToTick(tickToText(*tick.value)).value == tick.value, "a written tick value reads back the same");
    }
}

struct Restored {
    test::FakeMainWindow window;
    std::vector<BadSetting> bad;
};

void restore(SettingsStore& store, Restored& into)
{
    into.bad = store.restoreGeometry(into.window.window, kMainGeometry);
    const std::vector<BadSetting> controls = store.restoreMainControls(into.window.controls);
    into.bad.insert(into.bad.end(), controls.begin(), controls.end());
}

std::vector<float> geometry(const test::FakeWindow& w) { return {w.left_, w.top_, w.width_, w.height_}; }

bool isUtf8(std::string_view text) { return !keys::decodeUtf8(text).invalidByte; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> values;
    for (std::size_t start = 0; start <= input.size() && values.size() < std::size(kKeys);) {
        const std::size_t end = std::min(input.find('\0', start), input.size());
        values.push_back(input.substr(start, end - start));
        start = end + 1;
    }

    test::FakeSettings service;
    for (std::size_t i = 0; i < values.size(); ++i) {
        checkConversions(values[i]);
        service.put(kSection, kKeys[i], values[i]);
    }
    const StartedExecutable exe{std::string(kSection)};
    SettingsStore store(service, exe);
    Restored first;
    restore(store, first);

    // Each stored value is used as it converts, or is listed and defaulted.
    const auto listed = [&](std::string_view key) {
        return std::ranges::any_of(first.bad, [&](const BadSetting& b) { return b.key == key; });
    };
    const std::vector<float> firstGeometry = geometry(first.window.window);
    const std::int16_t geometryDefaults[] = {1000, 1000, 9480, 6240};
    for (std::size_t i = 0; i < 4; ++i) {
        const Conversion<float> c = i < values.size() ? textToSingle(values[i]) : Conversion<float>{};
        const float expected = i >= values.size() ? geometryDefaults[i] : c.value.value_or(geometryDefaults[i]);
        check(sameSingle(firstGeometry[i], expected), "a geometry value is the stored one or the default");
        check(listed(kKeys[i]) == (i < values.size() && !c.value), "exactly the bad geometry values are listed");
    }
    const test::FakeTickBox* ticks[] = {&first.window.autoStartBox, &first.window.autoCloseBox,
                                        &first.window.enterBox};
    for (std::size_t i = 4; i < 7; ++i) {
        const Conversion<TickValue> c = i < values.size() ? textToTick(values[i]) : Conversion<TickValue>{0, {}};
        check(ticks[i - 4]->value_ == c.value.value_or(0), "a tick box is the stored value or the default");
        check(listed(kKeys[i]) == !c.value, "exactly the bad tick values are listed");
    }
    const test::FakeTextField* texts[] = {&first.window.title, &first.window.text};
    for (std::size_t i = 7; i < 9; ++i) {
        const std::string_view stored = i < values.size() ? values[i] : std::string_view();
        check(texts[i - 7]->text_ == stored, "a text field holds the stored text byte for byte");
        check(listed(kKeys[i]) == !isUtf8(stored), "exactly the texts that are not UTF-8 are listed");
    }

    // What is saved reads back as what the window held.
    store.saveMainWindow(first.window.controls);
    Restored second;
    restore(store, second);
    const std::vector<float> secondGeometry = geometry(second.window.window);
    for (std::size_t i = 0; i < 4; ++i)
        check(sameSingle(secondGeometry[i], firstGeometry[i]), "a saved position reads back the same");
    check(second.window.autoStartBox.value_ == first.window.autoStartBox.value_ &&
              second.window.autoCloseBox.value_ == first.window.autoCloseBox.value_ &&
              second.window.enterBox.value_ == first.window.enterBox.value_,
          "saved tick boxes read back the same");
    check(second.window.title.text_ == first.window.title.text_ && second.window.text.text_ == first.window.text.text_,
          "saved texts read back the same");
    // The size is never written, so a bad one stays as it was.
    const auto stillBad = [](const BadSetting& b) {
        return b.key == kKeys[2] || b.key == kKeys[3] || b.key == kKeys[7] || b.key == kKeys[8];
    };
    check(std::ranges::all_of(second.bad, stillBad), "after a save only a bad size or unreadable texts are listed");
    return 0;
}
