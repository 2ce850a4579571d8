#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qmpvx {

struct TitledWindow {
    std::uint64_t id;
    std::string title; // UTF-8
};

// Which window a title names. Candidates are ordered topmost first. A title
// equal to `wanted` ignoring case wins wherever it is in the stacking order;
// else the topmost title that begins with `wanted` ignoring case. nullopt when
// none matches or `wanted` is empty.
std::optional<std::size_t> findByTitle(const std::vector<TitledWindow>& topmostFirst, std::string_view wanted);

// Case-insensitive comparisons of UTF-8 text, the same on every platform and in
// every locale: a simple case fold of Latin (ASCII, Latin-1, Latin Extended-A),
// Greek and Cyrillic letters. Bytes that are not valid UTF-8 compare as
// themselves and never equal a character.
bool equalIgnoringCase(std::string_view a, std::string_view b);
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

// A title as messages quote it: in quotation marks, and cut after its first 80
// characters with "…", since a title may be as long as a settings file allows.
std::string quotedTitle(std::string_view title);

} // namespace qmpvx
