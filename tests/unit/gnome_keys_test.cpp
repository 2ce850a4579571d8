#include "platform/keys/KeyNotation.h"
#include "platform/keys/Utf8.h"
#include "platform/wayland/GnomeShellKeys.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include <unistd.h>

namespace qmpvx::wayland {
namespace {

// The temporary keymap of a segment as GNOME Shell compiles it: the symbols
// file the extension writes (the layout included, the segment's keys put in),
// beside the system's XKB files. One include path that has everything:
// libxkbcommon 1.5 leaks the name of each file it fails to find on a path.
class TemporaryKeymaps {
public:
    TemporaryKeymaps() : folder_(std::filesystem::temp_directory_path() / ("qmpvx-gnome-keys-" + std::to_string(getpid())))
    {
        const std::filesystem::path system = "/usr/share/X11/xkb";
        std::filesystem::create_directories(folder_ / "xkb" / "symbols");
        for (const auto& entry : std::filesystem::directory_iterator(system)) {
            if (entry.path().filename() != "symbols")
                std::filesystem::create_symlink(entry.path(), folder_ / "xkb" / entry.path().filename());
        }
        for (const auto& entry : std::filesystem::directory_iterator(system / "symbols"))
            std::filesystem::create_symlink(entry.path(), folder_ / "xkb" / "symbols" / entry.path().filename());
    }
    ~TemporaryKeymaps() { std::filesystem::remove_all(folder_); }

    x11::XkbKeymap compile(const GnomeLayout& layout, const GnomeSegment& segment) const
    {
        if (segment.borrowed.empty())
            return compileGnomeLayout(layout);
        std::ofstream file(folder_ / "xkb" / "symbols" / "qmpvxtest");
        file << "default xkb_symbols \"typing\" {\n    include \"" << layout.layout
             << (layout.variant.empty() ? "" : "(" + layout.variant + ")") << "\"\n";
        for (const GnomeBorrowedKey& key : segment.borrowed) {
            file << "    key <" << key.name << "> { type[Group1] = \"" << key.type << "\", symbols[Group1] = [ ";
            for (std::size_t level = 0; level < key.keysyms.size(); ++level) {
                char number[16];
                std::snprintf(number, sizeof number, "0x%x", key.keysyms[level]);
                file << (level ? ", " : "") << (key.keysyms[level] ? number : "NoSymbol");
            }
            file << " ] };\n";
        }
        file << "};\n";
        file.close();
        const x11::XkbContext context(xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES));
        xkb_context_include_path_append(context.get(), (folder_ / "xkb").c_str());
        const xkb_rule_names names{.rules = "evdev", .model = "pc105+inet", .layout = "qmpvxtest", .variant = "",
                                   .options = layout.options.c_str()};
        return x11::XkbKeymap(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    }

private:
    std::filesystem::path folder_;
};

// One key a client reads: its keysym, and whether Ctrl or Alt were down.
struct Read {
    xkb_keysym_t keysym;
    bool control = false;
    bool alt = false;
    friend bool operator==(const Read&, const Read&) = default;
};

bool isModifierKeysym(xkb_keysym_t keysym)
{
    return (keysym >= XKB_KEY_Shift_L && keysym <= XKB_KEY_Hyper_R) || keysym == XKB_KEY_ISO_Level3_Shift;
}

// What a client reads from the plan, each segment with its own keymap.
std::vector<Read> readBack(const GnomeLayout& layout, const GnomeTypingPlan& plan)
{
    const TemporaryKeymaps keymaps;
    std::vector<Read> read;
    for (const GnomeSegment& segment : plan.segments) {
        const x11::XkbKeymap keymap = keymaps.compile(layout, segment);
        EXPECT_TRUE(keymap) << "the temporary keymap does not compile";
        if (!keymap)
            return read;
        const x11::XkbState state(xkb_state_new(keymap.get()));
        for (const GnomeKeyEvent& event : segment.events) {
            const xkb_keycode_t keycode = event.evdevCode + 8;
            EXPECT_LE(keycode, 255U) << "XWayland clients see no keycode above 255";
            if (event.press) {
                const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), keycode);
                if (!isModifierKeysym(keysym))
                    read.push_back({keysym,
                                    xkb_state_mod_name_is_active(state.get(), XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0,
                                    xkb_state_mod_name_is_active(state.get(), XKB_MOD_NAME_ALT, XKB_STATE_MODS_EFFECTIVE) > 0});
            }
            xkb_state_update_key(state.get(), keycode, event.press ? XKB_KEY_DOWN : XKB_KEY_UP);
        }
        EXPECT_EQ(xkb_state_serialize_mods(state.get(), XKB_STATE_MODS_DEPRESSED), 0U) << "a key stays down";
    }
    return read;
}

std::vector<Read> plainly(const std::u32string& text)
{
    std::vector<Read> read;
    for (const char32_t c : text)
        read.push_back({xkb_utf32_to_keysym(c)});
    return read;
}

std::string utf8Of(const std::u32string& text)
{
    std::string utf8;
    for (const char32_t c : text)
        keys::appendUtf8(utf8, c);
    return utf8;
}

GnomeTypingPlan plan(const GnomeLayout& layout, std::string_view notation)
{
    const x11::XkbKeymap keymap = compileGnomeLayout(layout);
    return planGnomeTyping(keys::parseKeyNotation(notation), keymap.get());
}

const GnomeLayout kUs{"us", "", ""};
const GnomeLayout kGerman{"de", "", ""};

// A text drawn from `pool`, `count` characters long, the same in every run.
std::u32string randomText(const std::u32string& pool, std::size_t count)
{
    std::mt19937 random(7);
    std::u32string text;
    for (std::size_t i = 0; i < count; ++i)
        text += pool[random() % pool.size()];
    return text;
}

std::u32string range(char32_t first, std::size_t count)
{
    std::u32string text;
    for (std::size_t i = 0; i < count; ++i)
        text += static_cast<char32_t>(first + i);
    return text;
}

TEST(GnomeKeys, TextsAreReadBackExactlyWithAsFewKeymapsAsTheyFit)
{
    // 86 distinct characters outside the layout, mixed at random: one keymap.
    const std::u32string wide = randomText(range(0x430, 32) + range(0x3B1, 24) + range(0x4E00, 30) + U"€£ab ", 1000);
    // More distinct ones than the places of one keymap: a keymap for each stretch that fits.
    const std::u32string many = range(0x4E00, 300);
    struct Case {
        GnomeLayout layout;
        std::u32string text;
        std::size_t temporaryKeymaps;
    };
    const Case cases[] = {
        {kUs, U"plain ASCII, 0123456789 [x] = y; \"q\" 'a' <b> / \\ | & * ! ? @ # $ _ - ` , .", 0},
        {kUs, U"Grüße, Ελληνικά, русский, 日本語 € 🙂 (ok)", 1},
        {kUs, wide, 1},
        {kUs, many, 3},
        // AltGr characters from the German layout's own keys.
        {kGerman, U"Zürich, Straße: zy @ € µ {|} ÄÖÜ 日本", 1},
    };
    for (const Case& c : cases) {
        std::string notation;
        for (const char32_t ch : c.text)
            notation += ch == U'{' || ch == U'}' || ch == U'(' || ch == U')' ? "{" + utf8Of({ch}) + "}" : utf8Of({ch});
        const GnomeTypingPlan p = plan(c.layout, notation);
        EXPECT_EQ(p.taps, c.text.size());
        std::size_t temporary = 0;
        for (const GnomeSegment& segment : p.segments)
            temporary += segment.borrowed.empty() ? 0 : 1;
        EXPECT_EQ(temporary, c.temporaryKeymaps) << utf8Of(c.text).substr(0, 40);
        EXPECT_EQ(readBack(c.layout, p), plainly(c.text)) << utf8Of(c.text).substr(0, 40);
    }
}

TEST(GnomeKeys, NotationModifiersApplyToLayoutAndBorrowedCharactersAlike)
{
    const xkb_keysym_t ni = xkb_utf32_to_keysym(U'日');
    struct Case {
        const char* notation;
        std::vector<Read> read;
    };
    const Case cases[] = {
        // Shift held by the text: letters are capitals, a character without case stays itself.
        {"+(a日b)c", {{'A'}, {ni}, {'B'}, {'c'}}},
        {"日+(日)日", {{ni}, {ni}, {ni}}},
        {"^a%日~", {{'a', true, false}, {ni, false, true}, {XKB_KEY_Return}}},
        {"^+(日)", {{ni, true, false}}},
        {"{LEFT 2}{F4}", {{XKB_KEY_Left}, {XKB_KEY_Left}, {XKB_KEY_F4}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readBack(kUs, plan(kUs, c.notation)), c.read) << c.notation;
}

TEST(GnomeKeys, TemporaryKeymapsKeepEveryKeyOfTheLayoutAndEnterWhereClientsLookForIt)
{
    for (const GnomeLayout& layout : {kUs, kGerman}) {
        const GnomeTypingPlan p = plan(layout, utf8Of(range(0x4E00, 100)) + "~");
        ASSERT_FALSE(p.segments.empty());
        const x11::XkbKeymap original = compileGnomeLayout(layout);
        const x11::XkbKeymap temporary = TemporaryKeymaps().compile(layout, p.segments.back());
        ASSERT_TRUE(temporary);
        for (xkb_keycode_t keycode = 8; keycode <= 255; ++keycode) {
            for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(original.get(), keycode, 0); ++level) {
                const xkb_keysym_t* was = nullptr;
                const xkb_keysym_t* now = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(original.get(), keycode, 0, level, &was);
                ASSERT_EQ(xkb_keymap_key_get_syms_by_level(temporary.get(), keycode, 0, level, &now), count)
                    << layout.layout << " keycode " << keycode << " level " << level;
                for (int i = 0; i < count; ++i)
                    EXPECT_EQ(now[i], was[i]) << layout.layout << " keycode " << keycode << " level " << level;
            }
        }
        // GTK takes Enter only at its standard keycode.
        EXPECT_EQ(p.segments.back().events.back().evdevCode, 28U);
    }
}

// The plans hold for Caps Lock off; the extension switches it with the layout's own key.
TEST(GnomeKeys, CapsLockIsSwitchedOnlyThroughAKeyThatTogglesIt)
{
    EXPECT_EQ(plan(kUs, "a").capsLockKey, 58U);
    EXPECT_EQ(plan({"us", "", "caps:none"}, "a").capsLockKey, 0U);
    EXPECT_EQ(plan({"us", "", "caps:ctrl_modifier"}, "a").capsLockKey, 0U);
}

TEST(GnomeKeys, ACharacterWithoutAKeysymIsRefusedBeforeAnyKey)
{
    const x11::XkbKeymap us = compileGnomeLayout(kUs);
    // U+FFFE is a non-character: no keysym stands for it.
    std::vector<keys::KeyAction> actions = keys::parseKeyNotation("ab");
    actions.push_back(keys::KeyAction::tap(U'\uFFFE'));
    actions.back().position = 3;
    try {
        planGnomeTyping(actions, us.get());
        FAIL() << "planned";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("position 3"), std::string::npos) << error.what();
    }
    EXPECT_THROW(compileGnomeLayout({"no-such-layout", "", ""}), std::runtime_error);
}

} // namespace
} // namespace qmpvx::wayland
