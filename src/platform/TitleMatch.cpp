#include "platform/TitleMatch.h"

namespace qmpvx {
namespace {

// Bytes that do not start a valid UTF-8 sequence become values past the last
// code point, so they match only the same byte.
constexpr char32_t kInvalidByteBase = 0x110000;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Walks UTF-8 text one code point at a time.
class CodePoints {
public:
    explicit CodePoints(std::string_view text) : text_(text) {}

    bool done() const { return at_ == text_.size(); }

    char32_t next()
    {
        const auto lead = static_cast<unsigned char>(text_[at_]);
        std::size_t length = 0;
        char32_t value = 0;
        char32_t smallest = 0; // rules out overlong forms
        if (lead < 0x80) {
            ++at_;
            return lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, value = lead & 0x1F, smallest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, value = lead & 0x0F, smallest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, value = lead & 0x07, smallest = 0x10000;
        }
        if (length == 0 || text_.size() - at_ < length)
            return invalidByte(lead);
        for (std::size_t i = 1; i < length; ++i) {
            const auto byte = static_cast<unsigned char>(text_[at_ + i]);
            if (!isContinuation(byte))
                return invalidByte(lead);
            value = (value << 6) | (byte & 0x3F);
        }
        if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return invalidByte(lead);
        at_ += length;
        return value;
    }

private:
    char32_t invalidByte(unsigned char byte)
    {
        ++at_;
        return kInvalidByteBase + byte;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// Lower and capital letters that alternate, capital on the even (or odd) code point.
char32_t lowerOfEvenCapital(char32_t c) { return c % 2 == 0 ? c + 1 : c; }
char32_t lowerOfOddCapital(char32_t c) { return c % 2 == 1 ? c + 1 : c; }

char32_t foldLatin(char32_t c)
{
    if (c >= 'A' && c <= 'Z')
        return c + 0x20;
    if (c == 0xB5) // micro sign: the same letter as Greek mu
        return 0x3BC;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    if (c < 0x100)
        return c;
    switch (c) {
    case 0x130: // İ has no simple fold; a user typing the title means i
        return 'i';
    case 0x131: // ı, ĸ, ŉ have no case partner
    case 0x138:
    case 0x149:
        return c;
    case 0x178:
        return 0xFF;
    case 0x17F: // long s
        return 's';
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
        return lowerOfOddCapital(c);
    return lowerOfEvenCapital(c);
}

char32_t foldGreek(char32_t c)
{
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB))
        return c + 0x20;
    if (c >= 0x388 && c <= 0x38A)
        return c + 0x25;
    if (c >= 0x3FD)
        return c - 0x82;
    if (c <= 0x373 || c == 0x376 || (c >= 0x3D8 && c <= 0x3EF))
        return lowerOfEvenCapital(c);
    switch (c) {
    case 0x37F: return 0x3F3;
    case 0x386: return 0x3AC;
    case 0x38C: return 0x3CC;
    case 0x38E: return 0x3CD;
    case 0x38F: return 0x3CE;
    case 0x3C2: return 0x3C3; // final sigma
    case 0x3CF: return 0x3D7;
    // Symbol variants of ordinary letters.
    case 0x3D0: return 0x3B2;
    case 0x3D1: return 0x3B8;
    case 0x3D5: return 0x3C6;
    case 0x3D6: return 0x3C0;
    case 0x3F0: return 0x3BA;
    case 0x3F1: return 0x3C1;
    case 0x3F4: return 0x3B8;
    case 0x3F5: return 0x3B5;
    case 0x3F7: return 0x3F8;
    case 0x3F9: return 0x3F2;
    case 0x3FA: return 0x3FB;
    }
    return c;
}

char32_t foldCyrillic(char32_t c)
{
    if (c <= 0x40F)
        return c + 0x50;
    if (c <= 0x42F)
        return c + 0x20;
    if (c == 0x4C0)
        return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE)
        return lowerOfOddCapital(c);
    if ((c >= 0x460 && c <= 0x481) || c >= 0x48A)
        return lowerOfEvenCapital(c);
    return c;
}

char32_t fold(char32_t c)
{
    if (c < 0x180)
        return foldLatin(c);
    if (c >= 0x370 && c <= 0x3FF)
        return foldGreek(c);
    if (c >= 0x400 && c <= 0x52F)
        return foldCyrillic(c);
    return c;
}

} // namespace

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    CodePoints left(a);
    CodePoints right(b);
    while (!left.done() && !right.done()) {
        if (fold(left.next()) != fold(right.next()))
            return false;
    }
    return left.done() && right.done();
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    CodePoints whole(text);
    CodePoints start(prefix);
    while (!start.done()) {
        if (whole.done() || fold(whole.next()) != fold(start.next()))
            return false;
    }
    return true;
}

std::optional<std::size_t> findByTitle(const std::vector<TitledWindow>& topmostFirst, std::string_view wanted)
{
    if (wanted.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < topmostFirst.size(); ++i) {
        if (equalIgnoringCase(topmostFirst[i].title, wanted))
            return i;
    }
    for (std::size_t i = 0; i < topmostFirst.size(); ++i) {
        if (startsWithIgnoringCase(topmostFirst[i].title, wanted))
            return i;
    }
    return std::nullopt;
}

std::string quotedTitle(std::string_view title)
{
    constexpr std::size_t kShown = 80;
    // Counting lead bytes never cuts a character in two; a stray continuation
    // byte is not counted.
    std::size_t characters = 0;
    for (std::size_t i = 0; i < title.size(); ++i) {
        if ((static_cast<unsigned char>(title[i]) & 0xC0) == 0x80)
            continue;
        if (characters++ == kShown)
            return "\"" + std::string(title.substr(0, i)) + "…\"";
    }
    return "\"" + std::string(title) + "\"";
}

} // namespace qmpvx
