#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qmpvx::keys {

struct Utf8Decoding {
    // On invalid input, the characters before the first bad byte.
    std::u32string characters;
    // 0-based offset of the byte where the first invalid sequence starts.
    std::optional<std::size_t> invalidByte;
};

// Strict UTF-8: overlong forms, surrogates and values past U+10FFFF are invalid,
// since injectors must never be handed a code point they cannot type.
Utf8Decoding decodeUtf8(std::string_view bytes);

void appendUtf8(std::string& out, char32_t character);

} // namespace qmpvx::keys
