// The strict decoder against a second, plainly written reading of the UTF-8
// rules (decode anything shaped right, then refuse overlong forms, surrogates
// and values past U+10FFFF), and encoding as its exact inverse.
#include "Check.h"
#include "platform/keys/Utf8.h"

#include <cstdint>
#include <optional>
#include <string>

using namespace qmpvx::keys;
using qmpvx::fuzz::check;

namespace {

struct Read {
    char32_t value;
    std::size_t length;
};

// One character at `offset`, or nothing when the bytes there are not one.
std::optional<Read> readOne(std::string_view bytes, std::size_t offset)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[offset + i]); };
    std::size_t length = 0;
    char32_t value = 0;
    if (byte(0) < 0x80)
        return Read{byte(0), 1};
    if ((byte(0) & 0xE0) == 0xC0)
        length = 2, value = byte(0) & 0x1F;
    else if ((byte(0) & 0xF0) == 0xE0)
        length = 3, value = byte(0) & 0x0F;
    else if ((byte(0) & 0xF8) == 0xF0)
        length = 4, value = byte(0) & 0x07;
    else
        return std::nullopt;
    if (bytes.size() - offset < length)
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return std::nullopt;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return std::nullopt;
    return Read{value, length};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::u32string expected;
    std::optional<std::size_t> invalidAt;
    for (std::size_t offset = 0; offset < bytes.size();) {
        const std::optional<Read> read = readOne(bytes, offset);
        if (!read) {
            invalidAt = offset;
            break;
        }
        expected.push_back(read->value);
        offset += read->length;
    }

    const Utf8Decoding decoded = decodeUtf8(bytes);
    check(decoded.invalidByte == invalidAt, "the first invalid byte is the one the rules find");
    check(decoded.characters == expected, "the characters are the ones the rules read");

    std::string encoded;
    for (const char32_t c : decoded.characters)
        appendUtf8(encoded, c);
    check(encoded == bytes.substr(0, invalidAt.value_or(bytes.size())), "encoding gives back the valid bytes");
    return 0;
}
