#include "ui/TextLimit.h"

namespace qmpvx::ui {

namespace {

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

} // namespace

std::size_t characterCount(std::u16string_view text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(isLowSurrogate(text[i]) && i > 0 && isHighSurrogate(text[i - 1])))
            ++count;
    }
    return count;
}

std::size_t prefixOfCharacters(std::u16string_view text, std::size_t characters)
{
    std::size_t end = 0;
    for (std::size_t taken = 0; end < text.size() && taken < characters; ++taken)
        end += isHighSurrogate(text[end]) && end + 1 < text.size() && isLowSurrogate(text[end + 1]) ? 2 : 1;
    return end;
}

std::size_t limitedInsertionEnd(std::u16string_view all, std::size_t insertStart, std::size_t insertEnd,
                                std::size_t limit)
{
    const std::size_t count = characterCount(all);
    if (count <= limit || insertStart >= insertEnd)
        return insertEnd;
    const std::u16string_view inserted = all.substr(insertStart, insertEnd - insertStart);
    const std::size_t insertedCount = characterCount(inserted);
    const std::size_t excess = count - limit;
    return insertStart + prefixOfCharacters(inserted, insertedCount > excess ? insertedCount - excess : 0);
}

} // namespace qmpvx::ui
