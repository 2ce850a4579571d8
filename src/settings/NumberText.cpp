#include "settings/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>

namespace qmpvx {

namespace {

std::string_view trimBlanks(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// from_chars also reads "inf" and "nan"; only plain decimal numbers are wanted.
bool looksDecimal(std::string_view text)
{
    for (const char c : text) {
        const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
        if (!allowed)
            return false;
    }
    return !text.empty();
}

Conversion<double> textToDouble(std::string_view text)
{
    text = trimBlanks(text);
    // One sign only: from_chars would read the '-' of "+-7" after the '+' is dropped.
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    if (!looksDecimal(text))
        return {std::nullopt, "is not a number"};
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        return {std::nullopt, "is outside the range of a single-precision number"};
    if (error != std::errc() || end != text.data() + text.size())
        return {std::nullopt, "is not a number"};
    return {value, {}};
}

} // namespace

std::string singleToText(float value)
{
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string tickToText(TickValue value)
{
    return std::to_string(value);
}

Conversion<float> textToSingle(std::string_view text)
{
    const Conversion<double> wide = textToDouble(text);
    if (!wide.value)
        return {std::nullopt, wide.problem};

    // Read the text as a float itself: going through double could round twice.
    std::string_view digits = trimBlanks(text);
    if (digits.front() == '+')
        digits.remove_prefix(1);
    float value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range) {
        if (std::fabs(*wide.value) < 1.0)  // underflow: a vanishingly small number of twips
            return {std::copysign(0.0f, static_cast<float>(*wide.value)), {}};
        return {std::nullopt, "is outside the range of a single-precision number"};
    }
    if (error != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value))
        return {std::nullopt, "is not a number"};
    return {value, {}};
}

Conversion<TickValue> textToTick(std::string_view text)
{
    const Conversion<double> wide = textToDouble(text);
    if (!wide.value)
        return {std::nullopt, wide.problem};
    const double rounded = std::nearbyint(*wide.value);
    if (!(rounded >= 0 && rounded <= 2))
        return {std::nullopt, "is not a tick box value (0, 1 or 2)"};
    return {static_cast<TickValue>(rounded), {}};
}

} // namespace qmpvx
