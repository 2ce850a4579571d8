#include "platform/keys/KeyNotation.h"

#include "platform/keys/Utf8.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace qmpvx::keys {
namespace {

using Reason = KeyNotationError::Reason;

// Messages never quote the text: it may be a password. They may name the one
// notation character at fault, which the user typed on purpose.
constexpr std::pair<Reason, std::string_view> kMessages[] = {
    {Reason::EmptyBraces, "The braces at character # name nothing; put a key name such as {ENTER} "
                          "right after the {, or write {{} or {}} to type a brace itself"},
    {Reason::UnknownKeyName, "The braces at character # hold an unknown key name; check its spelling "
                             "(for example {ENTER}, {TAB}, {F5}), or write {{} to type a { itself"},
    {Reason::BadCount, "Bad repeat count at character #: after the name and a blank, braces take "
                       "only the digits 0-9 and then } (for example {TAB 3})"},
    {Reason::MissingClosingBrace, "The { at character # is never closed with }; to type a { itself, write {{}"},
    {Reason::StrayClosingBrace, "The } at character # has no matching {; to type a } itself, write {}}"},
    {Reason::UnclosedGroup, "The ( at character # is never closed with ); to type a ( itself, write {(}"},
    {Reason::StrayClosingParenthesis, "The ) at character # has no matching (; to type a ) itself, write {)}"},
    {Reason::GroupTooDeep, "The ( at character # opens a group nested more than 3 deep; "
                           "to type a ( itself, write {(}"},
    {Reason::TooManyKeys, "Too many keys: the text would type more than 10000 keys "
                          "(the limit is passed at character #); "
                          "use a smaller repeat count or a shorter text"},
};

std::string messageFor(Reason reason, std::size_t position)
{
    const auto* entry = std::ranges::find(kMessages, reason, &std::pair<Reason, std::string_view>::first);
    std::string message(entry->second);
    message.replace(message.find('#'), 1, std::to_string(position));
    return message;
}

std::string repeatedModifierMessage(Modifier modifier, char32_t sign, std::size_t position)
{
    const char s = static_cast<char>(sign);
    std::string message(modifierName(modifier));
    message += std::string(" (") + s + ") at character " + std::to_string(position)
        + " is already in effect for this key; to type a " + s + " itself, write {" + s + "}";
    if (modifier == Modifier::Shift)
        message += " (for example C{+}{+})";
    return message;
}

constexpr bool isBlank(char32_t c) { return c == U' ' || c == U'\t'; }
constexpr bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }

// Control characters that stand for keys wherever they appear.
KeyAction literal(char32_t c)
{
    if (c == U'\t')
        return KeyAction::tap(NamedKey::Tab);
    if (c == U'\n' || c == U'\r')
        return KeyAction::tap(NamedKey::Enter);
    return KeyAction::tap(c);
}

std::uint8_t bit(Modifier m) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(m)); }

class Parser {
public:
    explicit Parser(std::u32string_view text)
        : text_(text), lastClosingBrace_(text.rfind(U'}'))
    {
    }

    std::vector<KeyAction> run()
    {
        parseSequence(0, 0);
        // Modifiers left at the very end are pressed and released on their own: a lone % taps Alt.
        if (!pending_.empty())
            withPending(IfNothingTyped::TapModifiers, [] {});
        return std::move(out_);
    }

private:
    enum class IfNothingTyped : std::uint8_t { DropModifiers, TapModifiers };

    struct Pending {
        Modifier modifier;
        char32_t sign;
    };

    [[noreturn]] static void fail(Reason reason, std::size_t index)
    {
        throw KeyNotationError(reason, index + 1, messageFor(reason, index + 1));
    }

    bool atEnd() const { return next_ >= text_.size(); }

    void parseSequence(int depth, std::size_t openedAt)
    {
        while (!atEnd()) {
            const std::size_t at = next_;
            const char32_t c = text_[next_++];
            switch (c) {
            case U'+': addModifier(Modifier::Shift, c, at); break;
            case U'^': addModifier(Modifier::Ctrl, c, at); break;
            case U'%': addModifier(Modifier::Alt, c, at); break;
            case U'~': typeUnit(KeyAction::tap(NamedKey::Enter), 1, at, at); break;
            case U'}': fail(Reason::StrayClosingBrace, at);
            case U'{': parseBraces(at); break;
            case U'(':
                if (depth == kMaxGroupDepth)
                    fail(Reason::GroupTooDeep, at);
                withPending(IfNothingTyped::DropModifiers, [&] { parseSequence(depth + 1, at); });
                break;
            case U')':
                if (depth == 0)
                    fail(Reason::StrayClosingParenthesis, at);
                // Modifiers still pending here carry on to the unit after the group.
                return;
            case U'\r':
                if (!atEnd() && text_[next_] == U'\n')
                    ++next_;
                typeUnit(literal(c), 1, at, at);
                break;
            default: typeUnit(literal(c), 1, at, at); break;
            }
        }
        if (depth > 0)
            fail(Reason::UnclosedGroup, openedAt);
    }

    void addModifier(Modifier modifier, char32_t sign, std::size_t at)
    {
        const bool pending = std::ranges::any_of(pending_, [&](const Pending& p) { return p.modifier == modifier; });
        if (pending || (held_ & bit(modifier)) != 0)
            throw KeyNotationError(Reason::RepeatedModifier, at + 1, repeatedModifierMessage(modifier, sign, at + 1));
        pending_.push_back({modifier, sign});
    }

    // Holds the pending modifiers around whatever `typeInside` adds. A unit that
    // types nothing (a count of 0, an empty group) drops them too: a stray
    // modifier tap can have effects of its own, such as Alt opening a menu.
    template <typename TypeInside>
    void withPending(IfNothingTyped ifNothingTyped, TypeInside typeInside)
    {
        const std::vector<Pending> modifiers = std::exchange(pending_, {});
        const std::size_t start = out_.size();
        for (const Pending& p : modifiers) {
            out_.push_back(KeyAction::press(p.modifier));
            held_ |= bit(p.modifier);
        }
        const std::size_t inside = out_.size();
        typeInside();
        for (const Pending& p : modifiers)
            held_ &= static_cast<std::uint8_t>(~bit(p.modifier));
        if (out_.size() == inside && ifNothingTyped == IfNothingTyped::DropModifiers) {
            out_.resize(start);
            return;
        }
        for (auto p = modifiers.rbegin(); p != modifiers.rend(); ++p)
            out_.push_back(KeyAction::release(p->modifier));
    }

    // `at` is where the unit starts, `named` the character that names the key.
    void typeUnit(KeyAction action, std::size_t count, std::size_t at, std::size_t named)
    {
        if (count > kMaxKeyTaps - taps_)
            fail(Reason::TooManyKeys, at);
        taps_ += count;
        action.position = named + 1;
        withPending(IfNothingTyped::DropModifiers, [&] { out_.insert(out_.end(), count, action); });
    }

    void parseBraces(std::size_t open)
    {
        if (lastClosingBrace_ == std::u32string_view::npos || lastClosingBrace_ < next_)
            fail(Reason::MissingClosingBrace, open);
        const std::size_t nameStart = next_;
        const char32_t first = text_[next_];
        const bool oneCharName = (first == U'}' || isBlank(first)) && next_ + 1 < text_.size()
            && (text_[next_ + 1] == U'}' || isBlank(text_[next_ + 1]));
        if (oneCharName) {
            ++next_;
        } else {
            while (!atEnd() && text_[next_] != U'}' && !isBlank(text_[next_]))
                ++next_;
            if (next_ == nameStart)
                fail(Reason::EmptyBraces, open);
        }
        const std::u32string_view name = text_.substr(nameStart, next_ - nameStart);
        const std::size_t count = parseCount(open);
        typeUnit(resolveName(name, open), count, open, nameStart);
    }

    // Reads an optional " <digits>" and the closing brace.
    std::size_t parseCount(std::size_t open)
    {
        std::size_t count = 1;
        if (!atEnd() && isBlank(text_[next_])) {
            while (!atEnd() && isBlank(text_[next_]))
                ++next_;
            if (!atEnd() && !isDigit(text_[next_]))
                fail(Reason::BadCount, next_);
            count = 0;
            // Saturates: anything past the cap is refused as too many keys anyway.
            while (!atEnd() && isDigit(text_[next_]))
                count = std::min(count * 10 + (text_[next_++] - U'0'), kMaxKeyTaps + 1);
        }
        if (atEnd())
            fail(Reason::MissingClosingBrace, open);
        if (text_[next_] != U'}')
            fail(Reason::BadCount, next_);
        ++next_;
        return count;
    }

    static KeyAction resolveName(std::u32string_view name, std::size_t open)
    {
        if (name.size() == 1)
            return literal(name.front());
        constexpr std::size_t kLongestName = 16;
        std::string ascii;
        for (const char32_t c : name) {
            if (c > 0x7F || ascii.size() == kLongestName)
                fail(Reason::UnknownKeyName, open);
            ascii.push_back(static_cast<char>(c));
        }
        const auto key = findKeyName(ascii);
        if (!key)
            fail(Reason::UnknownKeyName, open);
        return KeyAction::tap(*key);
    }

    std::u32string_view text_;
    std::size_t lastClosingBrace_;
    std::size_t next_ = 0;
    std::vector<KeyAction> out_;
    std::vector<Pending> pending_; // in the order given; released in reverse
    std::uint8_t held_ = 0;        // held by the enclosing groups
    std::size_t taps_ = 0;
};

std::string codeOf(char32_t c)
{
    std::array<char, 12> hex{};
    std::snprintf(hex.data(), hex.size(), "U+%04X", static_cast<unsigned>(c));
    return hex.data();
}

// Tab and line breaks are keys of their own (Tab, Enter); every other C0 or C1
// control, and DEL, types something no application expects, or nothing at all.
constexpr bool isRefusedControl(char32_t c)
{
    return (c < 0x20 && c != U'\t' && c != U'\n' && c != U'\r') || (c >= 0x7F && c <= 0x9F);
}

// The keys a user most likely meant by the controls that have one.
std::string_view keyHintFor(char32_t c)
{
    switch (c) {
    case 0x08: return "; to press Backspace, write {BS}";
    case 0x1B: return "; to press Escape, write {ESC}";
    case 0x7F: return "; to press Delete, write {DEL}";
    default: return "; remove it from the text";
    }
}

void refuseControlCharacters(std::u32string_view text)
{
    const auto found = std::ranges::find_if(text, isRefusedControl);
    if (found == text.end())
        return;
    const std::size_t position = static_cast<std::size_t>(found - text.begin()) + 1;
    throw KeyNotationError(Reason::ControlCharacter, position,
                           "The control character " + codeOf(*found) + " at character " + std::to_string(position)
                               + " cannot be typed" + std::string(keyHintFor(*found)));
}

void appendCharacter(std::string& out, char32_t c)
{
    if (c < 0x20 || c == 0x7F) {
        out += codeOf(c);
        return;
    }
    out += '\'';
    appendUtf8(out, c);
    out += '\'';
}

} // namespace

std::string_view modifierName(Modifier modifier)
{
    constexpr std::array<std::string_view, 3> kNames = {"Shift", "Ctrl", "Alt"};
    return kNames.at(static_cast<std::size_t>(modifier));
}

std::vector<KeyAction> parseKeyNotation(std::string_view utf8Text)
{
    const Utf8Decoding decoded = decodeUtf8(utf8Text);
    if (decoded.invalidByte) {
        const std::size_t position = decoded.characters.size() + 1;
        throw KeyNotationError(Reason::InvalidUtf8, position,
                               "The text is not valid UTF-8 at byte " + std::to_string(*decoded.invalidByte + 1)
                                   + " (character " + std::to_string(position) + "); save it as UTF-8");
    }
    refuseControlCharacters(decoded.characters);
    return Parser(decoded.characters).run();
}

std::string describe(const std::vector<KeyAction>& actions)
{
    std::string out;
    for (const KeyAction& action : actions) {
        if (!out.empty())
            out += ' ';
        switch (action.kind) {
        case KeyAction::Kind::Press: out += '+'; out += modifierName(action.modifier); break;
        case KeyAction::Kind::Release: out += '-'; out += modifierName(action.modifier); break;
        case KeyAction::Kind::Character: appendCharacter(out, action.character); break;
        case KeyAction::Kind::Key: out += '{'; out += keyName(action.key); out += '}'; break;
        }
    }
    return out;
}

} // namespace qmpvx::keys
