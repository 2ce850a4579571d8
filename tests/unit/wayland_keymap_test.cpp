#include "Keymaps.h"

#include "platform/keys/KeyNotation.h"
#include "platform/keys/Utf8.h"
#include "platform/wayland/VirtualKeymap.h"

#include <gtest/gtest.h>

#include <ranges>

namespace qmpvx::wayland {
namespace {

using x11::test::compileKeymap;

constexpr std::uint32_t kShift = 1;
constexpr std::uint32_t kControl = 4;
constexpr std::uint32_t kReturnKeycode = 36; // evdev 28, where GTK looks for Enter

// The keymap of a segment, compiled as a client would.
x11::XkbKeymap compiled(const KeymapSegment& segment)
{
    static const x11::XkbContext context(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    return x11::XkbKeymap(xkb_keymap_new_from_string(context.get(), segment.keymap.c_str(),
                                                     XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
}

// What a client reads from the segments: each tap's keysym under its modifiers.
std::vector<xkb_keysym_t> readBack(const std::vector<KeymapSegment>& segments)
{
    std::vector<xkb_keysym_t> keysyms;
    for (const KeymapSegment& segment : segments) {
        const x11::XkbKeymap keymap = compiled(segment);
        EXPECT_TRUE(keymap) << "the keymap does not compile";
        if (!keymap)
            return keysyms;
        const x11::XkbState state(xkb_state_new(keymap.get()));
        for (const VirtualStep& step : segment.steps) {
            if (!step.isTap)
                continue;
            xkb_state_update_mask(state.get(), step.tap.modifiers, 0, 0, 0, 0, 0);
            keysyms.push_back(xkb_state_key_get_one_sym(state.get(), step.tap.keycode));
        }
    }
    return keysyms;
}

TEST(WaylandKeymap, BorrowsOnlyEmptyKeycodesWithoutMeaningThatXWaylandClientsSee)
{
    const x11::XkbKeymap us = compileKeymap("us");
    const std::vector<std::uint32_t> keycodes = borrowableKeycodes(us.get());
    ASSERT_FALSE(keycodes.empty());
    // Not the input-method toggle (Zenkaku/Hankaku), nor F19/F24 or media keys.
    for (const std::uint32_t keycode : keycodes)
        EXPECT_TRUE(keycode <= 255 && keycode != 93 && keycode != 197 && keycode != 217) << keycode;
}

TEST(WaylandKeymap, LayoutKeysKeepTheirKeycodesAndNotationModifiersBecomeModifierState)
{
    struct Case {
        const char* layout;
        const char* notation;
        std::vector<VirtualTap> taps;
    };
    const Case cases[] = {
        {"us", "aB~", {{38, 0}, {56, kShift}, {kReturnKeycode, 0}}},
        {"us", "^a+(bc)", {{38, kControl}, {56, kShift}, {54, kShift}}},
        {"de", "üz", {{34, 0}, {29, 0}}}, // the German layout's own keys, nothing borrowed
    };
    for (const Case& c : cases) {
        const x11::XkbKeymap layout = compileKeymap(c.layout);
        const auto segments = planVirtualTyping(keys::parseKeyNotation(c.notation), layout.get());
        ASSERT_EQ(segments.size(), 1U) << c.notation;
        std::vector<VirtualTap> taps;
        for (const VirtualStep& step : segments[0].steps | std::views::filter(&VirtualStep::isTap))
            taps.push_back(step.tap);
        EXPECT_EQ(taps, c.taps) << c.notation;
        EXPECT_EQ(segments[0].steps.back().tap.modifiers, 0U) << c.notation << ": a held modifier is let go";
    }
}

// Also past the borrowed slots, which take further keymaps.
TEST(WaylandKeymap, CharactersTheLayoutLacksAreReadBackExactly)
{
    const x11::XkbKeymap us = compileKeymap("us");
    const std::size_t slots = borrowableKeycodes(us.get()).size() * 2;
    std::u32string many;
    for (char32_t c = 0x4E00; c < 0x4E00 + 60; ++c)
        many += c;
    for (const std::u32string& text : {std::u32string(U"Grüße Ωμέγα Привет 日本語 😀"), many}) {
        std::string utf8;
        std::vector<xkb_keysym_t> keysyms;
        for (const char32_t c : text) {
            keys::appendUtf8(utf8, c);
            keysyms.push_back(xkb_utf32_to_keysym(c));
        }
        const auto segments = planVirtualTyping(keys::parseKeyNotation(utf8), us.get());
        if (text == many) {
            EXPECT_EQ(segments.size(), (text.size() + slots - 1) / slots);
        }
        EXPECT_EQ(readBack(segments), keysyms);
    }
}

// The seat's keymap is the layout to build on only when it is one: after
// another tool's virtual keyboard typed, it is that tool's handful of symbols.
TEST(WaylandKeymap, OnlyARealLayoutCountsAsTheUsersLayout)
{
    for (const char* layout : {"us", "de", "fr", "ru", "us(dvorak)", "jp"})
        EXPECT_TRUE(isKeyboardLayout(compileKeymap(layout).get())) << layout;

    const x11::XkbKeymap us = compileKeymap("us");
    const auto segments = planVirtualTyping(keys::parseKeyNotation("日本 😀"), us.get());
    EXPECT_TRUE(isKeyboardLayout(compiled(segments.at(0)).get())) << "a keymap of this program's own keyboard";

    // What a typing tool uploads: the symbols it types, from the first keycode on.
    const KeymapSegment tool{"xkb_keymap { xkb_keycodes { minimum = 8; maximum = 11; <K1> = 9; <K2> = 10; };"
                             " xkb_types { include \"complete\" }; xkb_compatibility { include \"complete\" };"
                             " xkb_symbols { key <K1> {[Tab]}; key <K2> {[space]}; }; };",
                             {}};
    const x11::XkbKeymap toolKeymap = compiled(tool);
    ASSERT_TRUE(toolKeymap);
    EXPECT_FALSE(isKeyboardLayout(toolKeymap.get()));
}

} // namespace
} // namespace qmpvx::wayland
