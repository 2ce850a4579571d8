// The key events planned for a text on a layout given as a table: modifiers
// of a character's level around it only, the notation's held as written, and
// what a layout cannot type with the notation's modifiers refused.
#include "platform/win32/LayoutKeys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace qmpvx::win32 {
namespace {

// A few keys of a German-like layout: AltGr levels on Q, a control character
// on Ctrl+A, a kana level.
const std::map<char32_t, LayoutKey> kLayout = {
    {U'a', {'A', 0}}, {U'A', {'A', 1}}, {U'b', {'B', 0}}, {U'c', {'C', 0}}, {U'x', {'X', 0}},
    {U'1', {'1', 0}}, {U'!', {'1', 1}}, {U'@', {'Q', 6}}, {U'Ω', {'Q', 7}},
    {U'\x01', {'A', 2}}, {U'ｱ', {'3', 8}},
};

std::optional<LayoutKey> lookUp(char32_t c)
{
    const auto found = kLayout.find(c);
    return found == kLayout.end() ? std::nullopt : std::optional(found->second);
}

const std::map<std::uint16_t, std::string> kKeyNames = {
    {VK_SHIFT, "Shift"}, {VK_CONTROL, "Ctrl"}, {VK_MENU, "Alt"}, {VK_END, "End"}};

// "+Shift +A -A -Shift | ..." per action; Unicode events as U+XXXX, an
// extended key with a *.
std::string describe(const std::vector<KeyStep>& steps)
{
    std::string out;
    for (const KeyStep& step : steps) {
        out += out.empty() ? "" : " |";
        for (const KeyStroke& stroke : step.strokes) {
            char unicode[8];
            std::snprintf(unicode, sizeof unicode, "U+%04X", static_cast<unsigned>(stroke.unit));
            const auto named = kKeyNames.find(stroke.virtualKey);
            out += stroke.up ? " -" : " +";
            out += stroke.virtualKey == 0 ? std::string(unicode)
                   : named != kKeyNames.end() ? named->second
                   : std::string(1, static_cast<char>(stroke.virtualKey));
            out += stroke.extended ? "*" : "";
        }
    }
    return out.empty() ? out : out.substr(1);
}

std::vector<KeyStep> plan(std::string_view notation)
{
    return planKeySteps(keys::parseKeyNotation(notation), lookUp, "Target");
}

TEST(LayoutKeys, ACharacterTakesItsLevelsModifiersAroundItselfOnTopOfTheNotations)
{
    for (const auto& [notation, strokes] : std::initializer_list<std::pair<const char*, const char*>>{
             {"A", "+Shift +A -A -Shift"},
             {"+a", "+Shift | +A -A | -Shift"},
             {"+(A!b)", "+Shift | +A -A | +1 -1 | +B -B | -Shift"}, // Shift pressed once, and held on
             {"^A", "+Ctrl | +Shift +A -A -Shift | -Ctrl"},
             {"%(ax)", "+Alt | +A -A | +X -X | -Alt"},
             {"^+{END}", "+Ctrl | +Shift | +End* -End* | -Shift | -Ctrl"},
             {"@", "+Ctrl +Alt +Q -Q -Alt -Ctrl"},
             {"Ω", "+Shift +Ctrl +Alt +Q -Q -Alt -Ctrl -Shift"},
             {"+Ω", "+Shift | +Ctrl +Alt +Q -Q -Alt -Ctrl | -Shift"},
         })
        EXPECT_EQ(describe(plan(notation)), strokes) << notation;
}

TEST(LayoutKeys, WhatTheLayoutCannotTypeGoesAsUnicode)
{
    // Missing; beyond one UTF-16 unit; on a kana level.
    EXPECT_EQ(describe(plan("é\U0001F600ｱ")),
              "+U+00E9 -U+00E9 | +U+D83D -U+D83D +U+DE00 -U+DE00 | +U+FF71 -U+FF71");
    const std::vector<KeyStep> steps = plan("+(a)é~");
    EXPECT_EQ(std::ranges::count_if(steps, &KeyStep::tap), 3);
}

TEST(LayoutKeys, AModifierThatCannotApplyRefusesTheWholeTextByPosition)
{
    struct Refused {
        const char* notation;
        const char* says;
    };
    for (const Refused& c : {
             Refused{"ab^(日)", "no key of its own for character 5, so it cannot be typed with Ctrl (^) held"},
             {"+(xé)", "character 4, so it cannot be typed with Shift (+) held"},
             {"^+{日}", "character 4, so it cannot be typed with Shift (+) and Ctrl (^) held; "
                        "move the character out of what + and ^ applies to"},
             {"^+%é", "with Shift (+), Ctrl (^) and Alt (%) held"},
             {"a^@", "character 3 is typed with AltGr, which cannot be combined with Ctrl (^)"},
             {"%@", "combined with Alt (%);"},
             {"+@", "combined with Shift (+);"},        // Shift would pick the key's other AltGr level
             {"+^(aΩ)", "combined with Ctrl (^);"},     // Ω needs that Shift anyway
         }) {
        try {
            ADD_FAILURE() << "accepted: " << c.notation << " as " << describe(plan(c.notation));
        } catch (const std::runtime_error& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("Nothing was typed into \"Target\": ", 0), 0u) << message;
            EXPECT_NE(message.find(c.says), std::string::npos) << c.notation << "\n" << message;
        }
    }
}

} // namespace
} // namespace qmpvx::win32
