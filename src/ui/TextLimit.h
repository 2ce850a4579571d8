#pragma once

#include <cstddef>
#include <string_view>

namespace qmpvx::ui {

// Text limits count characters, not UTF-16 units: a surrogate pair is one
// character and is never split.

std::size_t characterCount(std::u16string_view text);

// The length in units of the longest start of `text` with at most
// `characters` characters.
std::size_t prefixOfCharacters(std::u16string_view text, std::size_t characters);

// Where to cut an insertion [insertStart, insertEnd) of `all` so that the text
// holds at most `limit` characters, removing nothing but the inserted part.
// Returns insertEnd when all fits.
std::size_t limitedInsertionEnd(std::u16string_view all, std::size_t insertStart, std::size_t insertEnd,
                                std::size_t limit);

} // namespace qmpvx::ui
