#include "platform/keys/Utf8.h"

namespace qmpvx::keys {
namespace {

struct LeadByte {
    std::size_t length = 0; // 0: cannot start a character
    char32_t bits = 0;
    // Allowed range of the second byte; narrower than 80..BF where that rules
    // out overlong forms, surrogates and values past U+10FFFF.
    unsigned char secondMin = 0x80;
    unsigned char secondMax = 0xBF;
};

LeadByte readLead(unsigned char byte)
{
    if (byte < 0x80)
        return {1, byte};
    if (byte >= 0xC2 && byte <= 0xDF)
        return {2, byte & 0x1Fu};
    if (byte == 0xE0)
        return {3, 0, 0xA0, 0xBF};
    if (byte == 0xED)
        return {3, byte & 0x0Fu, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF)
        return {3, byte & 0x0Fu};
    if (byte == 0xF0)
        return {4, 0, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3)
        return {4, byte & 0x07u};
    if (byte == 0xF4)
        return {4, byte & 0x07u, 0x80, 0x8F};
    return {};
}

} // namespace

Utf8Decoding decodeUtf8(std::string_view bytes)
{
    Utf8Decoding result;
    result.characters.reserve(bytes.size());
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const LeadByte lead = readLead(static_cast<unsigned char>(bytes[offset]));
        if (lead.length == 0 || bytes.size() - offset < lead.length) {
            result.invalidByte = offset;
            return result;
        }
        char32_t value = lead.bits;
        for (std::size_t i = 1; i < lead.length; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[offset + i]);
            const unsigned char min = i == 1 ? lead.secondMin : 0x80;
            const unsigned char max = i == 1 ? lead.secondMax : 0xBF;
            if (byte < min || byte > max) {
                result.invalidByte = offset;
                return result;
            }
            value = (value << 6) | (byte & 0x3Fu);
        }
        result.characters.push_back(value);
        offset += lead.length;
    }
    return result;
}

void appendUtf8(std::string& out, char32_t character)
{
    const auto put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
    if (character < 0x80) {
        put(character);
    } else if (character < 0x800) {
        put(0xC0 | (character >> 6));
        put(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        put(0xE0 | (character >> 12));
        put(0x80 | ((character >> 6) & 0x3F));
        put(0x80 | (character & 0x3F));
    } else {
        put(0xF0 | (character >> 18));
        put(0x80 | ((character >> 12) & 0x3F));
        put(0x80 | ((character >> 6) & 0x3F));
        put(0x80 | (character & 0x3F));
    }
}

} // namespace qmpvx::keys
