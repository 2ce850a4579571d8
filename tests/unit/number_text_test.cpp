// The fuzzer (fuzz/settings_fuzz.cpp) checks that only plain decimal texts
// convert, that a refusal says why, that every written number reads back the
// same and that tick values stay 0, 1 or 2. These cases pin down the values and the limits.
#include "settings/NumberText.h"

#include <gtest/gtest.h>

#include <optional>

namespace qmpvx {
namespace {

TEST(SingleToText, IsTheShortestTextThatReadsBackTheSame)
{
    for (const auto& [value, text] : {std::pair{1000.0f, "1000"}, {-15.0f, "-15"}, {0.1f, "0.1"}})
        EXPECT_EQ(singleToText(value), text);
}

TEST(TextToSingle, ReadsPlainDecimalNumbersWithinTheRangeOfASingle)
{
    const std::pair<const char*, std::optional<float>> cases[] = {
        {" 1000\t", 1000.0f}, {"+7", 7.0f},       {"-120.25", -120.25f}, {"1e3", 1000.0f},
        {".5", 0.5f},         {"1e-60", 0.0f},    {"3.4028235e38", 3.4028235e38f},
        {"", std::nullopt},   {"12px", std::nullopt}, {"nan", std::nullopt}, {"3.5e38", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(textToSingle(text).value, expected) << '"' << text << '"';
}

TEST(TextToTick, AcceptsZeroOneTwoRoundedHalfToEven)
{
    for (const auto& [text, tick] : {std::pair{"0", 0}, {" 1 ", 1}, {"2", 2}, {"1.4", 1}, {"0.5", 0}, {"2.5", 2},
                                     {"-0.4", 0}})
        EXPECT_EQ(textToTick(text).value, tick) << text;
    for (const char* bad : {"3", "2.6", "-1", "65537", "", "nan"})
        EXPECT_FALSE(textToTick(bad).value) << bad;
}

} // namespace
} // namespace qmpvx
