#include "platform/TitleMatch.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

namespace qmpvx {
namespace {

std::vector<TitledWindow> windows(std::initializer_list<std::string_view> titlesTopmostFirst)
{
    std::vector<TitledWindow> result;
    std::uint64_t id = 100;
    for (std::string_view title : titlesTopmostFirst)
        result.push_back({id++, std::string(title)});
    return result;
}

struct Pair {
    std::string_view a;
    std::string_view b;
};

// --- Which window wins ---

TEST(FindByTitle, ExactTitleBeatsAPrefixMatchHigherInTheStack)
{
    const auto open = windows({"Notes - Editor", "Notes"});
    EXPECT_EQ(findByTitle(open, "Notes"), 1u);
}

TEST(FindByTitle, TopmostWinsAmongEqualTitles)
{
    EXPECT_EQ(findByTitle(windows({"Other", "Terminal", "Terminal"}), "Terminal"), 1u);
    EXPECT_EQ(findByTitle(windows({"Terminal", "terminal"}), "TERMINAL"), 0u);
}

TEST(FindByTitle, TopmostWinsAmongPrefixMatches)
{
    EXPECT_EQ(findByTitle(windows({"Mail", "Report 2024", "Report draft"}), "Report"), 1u);
}

TEST(FindByTitle, ExactMatchIgnoresCase)
{
    EXPECT_EQ(findByTitle(windows({"Calculator Plus", "CALCULATOR"}), "calculator"), 1u);
}

TEST(FindByTitle, NothingWhenNoTitleEqualsOrBeginsWithIt)
{
    const auto open = windows({"Editor - Notes", "Terminal"});
    EXPECT_EQ(findByTitle(open, "Notes"), std::nullopt); // only in the middle
    EXPECT_EQ(findByTitle(open, "Terminals"), std::nullopt); // longer than the title
    EXPECT_EQ(findByTitle({}, "Terminal"), std::nullopt);
}

TEST(FindByTitle, EmptyWantedMatchesNothing)
{
    EXPECT_EQ(findByTitle(windows({"Terminal", ""}), ""), std::nullopt);
}

// --- Prefix boundaries ---

TEST(StartsWithIgnoringCase, BoundariesOfLength)
{
    EXPECT_TRUE(startsWithIgnoringCase("Terminal", ""));
    EXPECT_TRUE(startsWithIgnoringCase("Terminal", "t"));
    EXPECT_TRUE(startsWithIgnoringCase("Terminal", "TERMINAL"));
    EXPECT_FALSE(startsWithIgnoringCase("Terminal", "Terminal "));
    EXPECT_FALSE(startsWithIgnoringCase("", "T"));
    EXPECT_FALSE(startsWithIgnoringCase("Terminal", "erm"));
}

TEST(StartsWithIgnoringCase, CountsCharactersNotBytes)
{
    EXPECT_TRUE(startsWithIgnoringCase("Écran principal", "é"));
    EXPECT_TRUE(startsWithIgnoringCase("Привет, мир", "ПРИВЕТ"));
    // A prefix cut inside a character is not a character of the title.
    EXPECT_FALSE(startsWithIgnoringCase("Écran", std::string_view("\xC3", 1)));
}

// --- Case folding ---

TEST(EqualIgnoringCase, FoldsLettersOfEachScript)
{
    const Pair same[] = {
        {"Hello World", "hELLO wORLD"},
        {"ÉCRAN", "écran"},
        {"ÀÖØÞ", "àöøþ"},
        {"Ÿ", "ÿ"},
        {"ŁÓDŹ ŻÓŁĆ", "łódź żółć"},
        {"ĀĒĪŌŪ ŐŰ", "āēīōū őű"},
        {"ĹĽŇ", "ĺľň"},
        {"Ĳ", "ĳ"},
        {"ΣΟΦΙΑ", "σοφια"},
        {"ΆΈΉΊΌΎΏ", "άέήίόύώ"},
        {"ΟΔΟΣ", "οδος"}, // final sigma is the same letter as sigma
        {"µ", "Μ"},       // micro sign and capital mu
        {"ПРИВЕТ", "привет"},
        {"ЁЖИК ЇЖАК ЎЛ", "ёжик їжак ўл"},
        {"ѢҐҒӀ", "ѣґғӏ"},
        {"ſ", "S"},
        {"İstanbul", "istanbul"},
    };
    for (const Pair& c : same)
        EXPECT_TRUE(equalIgnoringCase(c.a, c.b)) << c.a << " vs " << c.b;
}

TEST(EqualIgnoringCase, KeepsDistinctLettersApart)
{
    const Pair different[] = {
        {"×", "÷"},    // not a letter pair though 0x20 apart
        {"ß", "ss"},   // the simple fold keeps ß one letter
        {"ı", "I"},    // dotless i has no capital of its own
        {"Е", "E"},    // Cyrillic and Latin look-alikes
        {"Ο", "O"},    // Greek and Latin look-alikes
        {"é", "e"},    // accents count
        {"ab", "abc"}, // length counts
        {"日本", "日本語"},
    };
    for (const Pair& c : different)
        EXPECT_FALSE(equalIgnoringCase(c.a, c.b)) << c.a << " vs " << c.b;
}

TEST(EqualIgnoringCase, LeavesOtherScriptsAsTheyAre)
{
    EXPECT_TRUE(equalIgnoringCase("日本語 Title", "日本語 TITLE"));
    EXPECT_FALSE(equalIgnoringCase("Ա", "ա")); // Armenian is outside the fold
}

// --- Bytes that are not UTF-8 ---

TEST(EqualIgnoringCase, InvalidBytesCompareAsThemselves)
{
    const std::string_view latin1Title("Gr\xFC\xDF" "e", 5); // "Grüße" written as Latin-1
    EXPECT_TRUE(equalIgnoringCase(latin1Title, latin1Title));
    EXPECT_TRUE(equalIgnoringCase(latin1Title, std::string_view("GR\xFC\xDF" "E", 5)));
    EXPECT_FALSE(equalIgnoringCase(latin1Title, "Grüße"));
    EXPECT_FALSE(equalIgnoringCase(std::string_view("\xDC", 1), std::string_view("\xFC", 1)));
}

TEST(EqualIgnoringCase, MalformedSequencesAreBytesNotCharacters)
{
    const Pair notTheLetter[] = {
        {"\xC1\x81", "A"},     // overlong A
        {"\xE0\x81\x81", "A"}, // overlong A, three bytes
        {"\xC3", "\xC3\xA9"},   // truncated é
    };
    for (const Pair& c : notTheLetter)
        EXPECT_FALSE(equalIgnoringCase(c.a, c.b));
    EXPECT_TRUE(equalIgnoringCase("\xC3Z", "\xC3z")); // the letter after a stray byte still folds
}

TEST(FindByTitle, ToleratesTitlesThatAreNotUtf8)
{
    const auto open = windows({"\xFF\xFE garbage", "Terminal \xC3"});
    EXPECT_EQ(findByTitle(open, "terminal"), 1u);
    EXPECT_EQ(findByTitle(open, "\xFF"), 0u);
}

} // namespace
} // namespace qmpvx
