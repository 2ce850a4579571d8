#include "platform/TitleMatch.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

namespace qmpvx {
namespace {

TEST(TitleMatch, PicksAnExactTitleElseTheTopmostPrefixMatch)
{
    // The open titles, topmost first; the title wanted; the window it names.
    const std::tuple<std::vector<std::string_view>, std::string_view, std::optional<std::size_t>> cases[] = {
        {{"Notes - Editor", "Notes"}, "Notes", 1}, // exact beats a prefix match above it
        {{"Notes", "Notes - Editor"}, "Notes", 0},
        {{"Other", "Terminal", "terminal"}, "TERMINAL", 1}, // topmost among equals
        {{"Mail", "Report 2024", "Report draft"}, "Report", 1},
        {{"Écran principal"}, "é", 0},
        {{"Écran"}, "\xC3", std::nullopt}, // a prefix cut inside a character
        {{"Editor - Notes", "Terminal"}, "Notes", std::nullopt},
        {{"Terminal"}, "Terminals", std::nullopt},
        {{"Terminal", ""}, "", std::nullopt},
        {{"\xFF\xFE garbage", "Terminal \xC3"}, "terminal", 1}, // titles that are not UTF-8
        {{"\xFF\xFE garbage", "Terminal \xC3"}, "\xFF", 0},
    };
    for (const auto& [titles, wanted, expected] : cases) {
        std::vector<TitledWindow> open;
        for (std::string_view title : titles)
            open.push_back({open.size(), std::string(title)});
        EXPECT_EQ(findByTitle(open, wanted), expected) << "wanted: " << wanted;
    }
}

TEST(TitleMatch, FoldsCaseOfLatinGreekAndCyrillicOnly)
{
    const std::tuple<std::string_view, std::string_view, bool> cases[] = {
        {"Hello World", "hELLO wORLD", true}, {"ÀÖØÞ Ÿ", "àöøþ ÿ", true},
        // Capitals on odd code points; long s; dotted capital I as typed by a user meaning i.
        {"ŁÓDŹ ĹĽŇ", "łódź ĺľň", true}, {"ſ", "S", true}, {"İstanbul", "istanbul", true},
        // Final sigma and the micro sign are the same letters as sigma and mu.
        {"ΣΟΦΙΑ ΆΈΉΊΌΎΏ", "σοφια άέήίόύώ", true}, {"ΟΔΟΣ", "οδος", true}, {"µ", "Μ", true},
        {"ПРИВЕТ ЁЖИК ЇЖАК", "привет ёжик їжак", true}, {"ѢҐ", "ѣґ", true},
        {"×", "÷", false}, {"ß", "ss", false}, {"ı", "I", false}, {"ab", "abc", false},
        // Look-alikes from other scripts stay apart; Armenian and CJK are outside the fold.
        {"Е", "E", false}, {"Ο", "O", false}, {"Ա", "ա", false}, {"日本語 Title", "日本語 TITLE", true},
        // Bytes that are not UTF-8 compare as bytes: Latin-1, an overlong A, a stray lead byte.
        {"Gr\xFC\xDF" "e", "GR\xFC\xDF" "E", true}, {"Gr\xFC\xDF" "e", "Grüße", false},
        {"\xC1\x81", "A", false}, {"\xC3Z", "\xC3z", true},
    };
    for (const auto& [a, b, equal] : cases)
        EXPECT_EQ(equalIgnoringCase(a, b), equal) << a << " vs " << b;
}

TEST(TitleMatch, MessagesQuoteAtMostEightyCharacters)
{
    EXPECT_EQ(quotedTitle(""), "\"\"");
    EXPECT_EQ(quotedTitle(std::string(80, 'a')), "\"" + std::string(80, 'a') + "\"");
    EXPECT_EQ(quotedTitle(std::string(81, 'a')), "\"" + std::string(80, 'a') + "…\"");
    // Characters, not bytes: 80 emoji are 320 bytes and stay whole.
    std::string emoji;
    for (int i = 0; i < 80; ++i)
        emoji += "\xF0\x9F\x98\x80";
    EXPECT_EQ(quotedTitle(emoji), "\"" + emoji + "\"");
    EXPECT_EQ(quotedTitle(emoji + "Ω" + std::string(1'000'000, 'x')), "\"" + emoji + "…\"");
}

} // namespace
} // namespace qmpvx
