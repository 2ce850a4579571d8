#pragma once

#include "forms/Controls.h"

#include <optional>
#include <string>
#include <string_view>

namespace qmpvx {

// A stored text converted to a value, or the reason it does not convert.
template <typename T>
struct Conversion {
    std::optional<T> value;
    std::string_view problem;  // empty when value is set
};

// The shortest text that reads back to the same single-precision value,
// independent of the locale: "1000", "1234.5", "-15".
std::string singleToText(float value);
std::string tickToText(TickValue value);

// Decimal text with '.' as the separator, blanks around it allowed. NaN,
// infinities and values beyond single precision do not convert.
Conversion<float> textToSingle(std::string_view text);

// A number that rounds (half to even, as the classic integer conversion did)
// to 0, 1 or 2.
Conversion<TickValue> textToTick(std::string_view text);

} // namespace qmpvx
