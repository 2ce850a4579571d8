#include "Keymaps.h"

#include "platform/keys/KeyNotation.h"
#include "platform/wayland/VirtualKeymap.h"

#include <gtest/gtest.h>

#include <set>

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

std::vector<xkb_keysym_t> keysymsOf(std::u32string_view text)
{
    std::vector<xkb_keysym_t> keysyms;
    for (const char32_t c : text)
        keysyms.push_back(xkb_utf32_to_keysym(c));
    return keysyms;
}

TEST(WaylandKeymap, BorrowsOnlyEmptyKeycodesWithoutMeaningThatXWaylandClientsSee)
{
    const x11::XkbKeymap us = compileKeymap("us");
    const std::vector<std::uint32_t> keycodes = borrowableKeycodes(us.get());
    ASSERT_FALSE(keycodes.empty());
    for (const std::uint32_t keycode : keycodes) {
        EXPECT_LE(keycode, 255U);
        // Not the input-method toggle (Zenkaku/Hankaku), nor F19/F24 or media keys.
        EXPECT_NE(keycode, 93U);
        EXPECT_NE(keycode, 197U);
        EXPECT_NE(keycode, 217U);
    }
}

TEST(WaylandKeymap, LayoutKeysKeepTheirKeycodesAndReturnStaysAtItsOwn)
{
    const x11::XkbKeymap us = compileKeymap("us");
    const auto segments = planVirtualTyping(keys::parseKeyNotation("aB~"), us.get());
    ASSERT_EQ(segments.size(), 1U);
    const auto& steps = segments[0].steps;
    ASSERT_EQ(steps.size(), 3U);
    EXPECT_EQ(steps[0].tap, (VirtualTap{38, 0}));
    EXPECT_EQ(steps[1].tap, (VirtualTap{56, kShift}));
    EXPECT_EQ(steps[2].tap, (VirtualTap{kReturnKeycode, 0}));
}

TEST(WaylandKeymap, NotationModifiersBecomeModifierState)
{
    const x11::XkbKeymap us = compileKeymap("us");
    const auto segments = planVirtualTyping(keys::parseKeyNotation("^a+(bc)"), us.get());
    const auto& steps = segments.at(0).steps;
    std::vector<std::uint32_t> tapModifiers;
    for (const VirtualStep& step : steps) {
        if (step.isTap)
            tapModifiers.push_back(step.tap.modifiers);
    }
    EXPECT_EQ(tapModifiers, (std::vector<std::uint32_t>{kControl, kShift, kShift}));
    EXPECT_EQ(steps.back().tap.modifiers, 0U) << "the held Shift is let go after the group";
}

TEST(WaylandKeymap, CharactersTheLayoutLacksAreReadBackExactly)
{
    const x11::XkbKeymap us = compileKeymap("us");
    const std::u32string text = U"Grüße Ωμέγα Привет 日本語 😀";
    const auto segments = planVirtualTyping(keys::parseKeyNotation(
                                                "Grüße Ωμέγα Привет 日本語 😀"), us.get());
    EXPECT_EQ(readBack(segments), keysymsOf(text));
}

TEST(WaylandKeymap, MoreDistinctCharactersThanSlotsTakeSeveralKeymapsAndStayExact)
{
    const x11::XkbKeymap us = compileKeymap("us");
    std::u32string text;
    for (char32_t c = 0x4E00; c < 0x4E00 + 60; ++c)
        text += c;
    std::string utf8;
    for (const char32_t c : text) {
        char buffer[8] = {};
        xkb_keysym_to_utf8(xkb_utf32_to_keysym(c), buffer, sizeof buffer);
        utf8 += buffer;
    }
    const auto segments = planVirtualTyping(keys::parseKeyNotation(utf8), us.get());
    const std::size_t slots = borrowableKeycodes(us.get()).size() * 2;
    EXPECT_EQ(segments.size(), (text.size() + slots - 1) / slots);
    EXPECT_EQ(readBack(segments), keysymsOf(text));
}

TEST(WaylandKeymap, AGermanLayoutTypesItsOwnLettersFromItsKeys)
{
    const x11::XkbKeymap de = compileKeymap("de");
    const auto segments = planVirtualTyping(keys::parseKeyNotation("üz"), de.get());
    ASSERT_EQ(segments.size(), 1U);
    EXPECT_EQ(segments[0].steps[0].tap, (VirtualTap{34, 0})) << "ü on its key of the German layout";
    EXPECT_EQ(segments[0].steps[1].tap, (VirtualTap{29, 0})) << "z where the German layout has it";
    EXPECT_EQ(segments[0].keymap.find("key <AB11> {"), std::string::npos) << "nothing borrowed";
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
    const KeymapSegment tool{"xkb_keymap {\n"
                             "xkb_keycodes \"(unnamed)\" { minimum = 8; maximum = 11; <K1> = 9; <K2> = 10; };\n"
                             "xkb_types \"(unnamed)\" { include \"complete\" };\n"
                             "xkb_compatibility \"(unnamed)\" { include \"complete\" };\n"
                             "xkb_symbols \"(unnamed)\" { key <K1> {[Tab]}; key <K2> {[space]}; };\n"
                             "};\n",
                             {}};
    const x11::XkbKeymap toolKeymap = compiled(tool);
    ASSERT_TRUE(toolKeymap);
    EXPECT_FALSE(isKeyboardLayout(toolKeymap.get()));
}

} // namespace
} // namespace qmpvx::wayland
