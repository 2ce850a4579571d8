// Any bytes must either parse into a safe list of actions or be refused with a
// KeyNotationError that points into the text; anything else is a finding.
#include "platform/keys/KeyNotation.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

using namespace qmpvx::keys;

namespace {

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "key_notation_fuzz: %s\n", what);
    std::abort();
}

// Injectors rely on this: no modifier is left held, releases undo presses in
// reverse, and the tap count stays within the cap.
void checkActions(const std::vector<KeyAction>& actions)
{
    std::vector<Modifier> held;
    std::size_t taps = 0;
    for (const KeyAction& action : actions) {
        switch (action.kind) {
        case KeyAction::Kind::Press:
            for (const Modifier m : held)
                if (m == action.modifier)
                    finding("a modifier is pressed while already held");
            held.push_back(action.modifier);
            break;
        case KeyAction::Kind::Release:
            if (held.empty() || held.back() != action.modifier)
                finding("a release does not match the last press");
            held.pop_back();
            break;
        case KeyAction::Kind::Character:
            if (action.character > 0x10FFFF || (action.character >= 0xD800 && action.character <= 0xDFFF))
                finding("a character is not a Unicode scalar value");
            ++taps;
            break;
        case KeyAction::Kind::Key: ++taps; break;
        }
    }
    if (!held.empty())
        finding("a modifier is left held");
    if (taps > kMaxKeyTaps)
        finding("more taps than the cap");
    if (describe(actions).empty() != actions.empty())
        finding("describe() lost or invented actions");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        checkActions(parseKeyNotation(text));
    } catch (const KeyNotationError& error) {
        if (error.position() < 1 || error.position() > size + 1)
            finding("an error position lies outside the text");
        if (std::string_view(error.what()).empty())
            finding("an error without a message");
    }
    return 0;
}
