#include "settings/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string_view>

namespace qmpvx {
namespace {

TEST(SingleToText, IsTheShortestTextThatReadsBackTheSame)
{
    EXPECT_EQ(singleToText(1000.0f), "1000");
    EXPECT_EQ(singleToText(-15.0f), "-15");
    EXPECT_EQ(singleToText(0.1f), "0.1");

    const float samples[] = {66.6666f, 1e-7f, 3.4028235e38f, -1.17549435e-38f, 16777217.0f, 491505.0f};
    for (const float value : samples) {
        const Conversion<float> back = textToSingle(singleToText(value));
        ASSERT_TRUE(back.value) << singleToText(value);
        EXPECT_EQ(*back.value, value) << singleToText(value);
    }
}

struct Reading {
    const char* text;
    std::optional<float> expected;
};

// Shown in test output as "\" 1000\\t\" reads 1000" rather than as raw bytes.
void PrintTo(const Reading& reading, std::ostream* out)
{
    *out << '"';
    for (const char c : std::string_view(reading.text))
        *out << (c == '\t' ? "\\t" : std::string(1, c));
    *out << '"';
    if (reading.expected)
        *out << " reads " << *reading.expected;
    else
        *out << " is refused";
}

class TextToSingle : public ::testing::TestWithParam<Reading> {};

TEST_P(TextToSingle, ReadsPlainDecimalNumbersOnly)
{
    const auto [text, expected] = GetParam();
    const Conversion<float> converted = textToSingle(text);
    EXPECT_EQ(converted.value, expected) << '"' << text << '"';
    EXPECT_EQ(converted.problem.empty(), expected.has_value()) << '"' << text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextToSingle,
    ::testing::Values(Reading{" 1000\t", 1000.0f}, Reading{"+7", 7.0f}, Reading{"-120.25", -120.25f},
                      Reading{"1e3", 1000.0f}, Reading{".5", 0.5f}, Reading{"1e-60", 0.0f},
                      Reading{"3.4028235e38", 3.4028235e38f}, Reading{"", std::nullopt}, Reading{"1,000", std::nullopt},
                      Reading{"12px", std::nullopt}, Reading{"0x10", std::nullopt}, Reading{"nan", std::nullopt},
                      Reading{"-inf", std::nullopt}, Reading{"3.5e38", std::nullopt}, Reading{"1 2", std::nullopt},
                      Reading{"+-7", std::nullopt}));

TEST(TextToTick, AcceptsZeroOneTwoRoundedHalfToEven)
{
    EXPECT_EQ(textToTick("0").value, 0);
    EXPECT_EQ(textToTick(" 1 ").value, 1);
    EXPECT_EQ(textToTick("2").value, 2);
    EXPECT_EQ(textToTick("1.4").value, 1);
    EXPECT_EQ(textToTick("0.5").value, 0);
    EXPECT_EQ(textToTick("2.5").value, 2);
    EXPECT_EQ(textToTick("-0.4").value, 0);

    for (const char* bad : {"3", "2.6", "-1", "65537", "", "true", "nan"})
        EXPECT_FALSE(textToTick(bad).value) << bad;
}

} // namespace
} // namespace qmpvx
