// The fuzzer (fuzz/key_notation_fuzz.cpp) checks that parsed actions are
// balanced and spell out again to themselves, that taps stay in order inside
// the text, and that bad UTF-8 and control characters are refused at the
// right character. These cases pin down what each spelling means; the fake
// input refusals check that taps know the character that names them.
#include "platform/keys/KeyNotation.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

using namespace qmpvx::keys;
using Reason = KeyNotationError::Reason;

namespace {

// Each text with its actions as describe() writes them.
void expectTyped(std::initializer_list<std::pair<std::string_view, std::string_view>> cases)
{
    for (const auto& [text, actions] : cases)
        EXPECT_EQ(describe(parseKeyNotation(text)), actions) << "text: " << text;
}

// The error a text is refused with; one at position 0 when it is accepted.
KeyNotationError refusal(std::string_view text)
{
    try {
        parseKeyNotation(text);
    } catch (const KeyNotationError& error) {
        return error;
    }
    return {Reason::InvalidUtf8, 0, "(accepted)"};
}

} // namespace

TEST(KeyNotation, TypesCharactersLineBreaksKeysAndCounts)
{
    expectTyped({
        {"", ""},
        {"aB 1[x]", "'a' 'B' ' ' '1' '[' 'x' ']'"},
        {"é€\U0001F600", "'é' '€' '\U0001F600'"},
        {" {~}\xC2\xA0", "' ' '~' '\xC2\xA0'"}, // U+0020, U+007E, U+00A0: the edges of the controls
        {"a\tb~{\t}", "'a' {Tab} 'b' {Enter} {Tab}"},
        {"\n\r\r\na\r", "{Enter} {Enter} {Enter} 'a' {Enter}"}, // CR LF is one line break
        {"{ENTER}{enter}{BS}{BKSP}{DEL}{ESC}", "{Enter} {Enter} {Backspace} {Backspace} {Delete} {Escape}"},
        {"{PGDN}{PRTSC}{f16}{ADD}{Divide}", "{PageDown} {PrintScreen} {F16} {KeypadAdd} {KeypadDivide}"},
        {"{+}{^}{%}{~}{(}{)}", "'+' '^' '%' '~' '(' ')'"},
        {"{{}{}}{ }{é}{\U0001F600}", "'{' '}' ' ' 'é' '\U0001F600'"},
        {"{TAB 3}", "{Tab} {Tab} {Tab}"},
        {"{a 2}{} 2}", "'a' 'a' '}' '}'"},
        {"{a 0}", ""},
    });
    EXPECT_EQ(parseKeyNotation("{LEFT  42}").size(), 42u);
    EXPECT_EQ(parseKeyNotation("{a 10000}").size(), kMaxKeyTaps);
    EXPECT_EQ(parseKeyNotation("a{b 9999}").size(), kMaxKeyTaps);
}

TEST(KeyNotation, ModifiersHoldForTheNextUnitAndCarryOutOfAGroup)
{
    expectTyped({
        {"+ab", "+Shift 'a' -Shift 'b'"},
        {"^+{END}", "+Ctrl +Shift {End} -Shift -Ctrl"},
        {"+{a 3}", "+Shift 'a' 'a' 'a' -Shift"},
        {"+{a 0}b", "'b'"}, // a count of 0 holds nothing
        {"+\r\n", "+Shift {Enter} -Shift"},
        {"%(ab)c", "+Alt 'a' 'b' -Alt 'c'"},
        {"a+^", "'a' +Shift +Ctrl -Ctrl -Shift"},
        {"(a+)b", "'a' +Shift 'b' -Shift"},
        {"((a^))b", "'a' +Ctrl 'b' -Ctrl"},
        {"%(a+)b", "+Alt 'a' -Alt +Shift 'b' -Shift"},
        {"+()a", "'a'"}, // an empty group types nothing, so holds nothing
    });
}

// Where the fault is, and in the message how to type the character literally.
TEST(KeyNotation, ErrorsReportReasonPositionAndAHint)
{
    struct Refused {
        std::string_view text;
        Reason reason;
        std::size_t position;
        std::string_view hint;
    };
    for (const Refused& c : {
             Refused{"{}a}", Reason::EmptyBraces, 1, ""},
             {"x{ a}", Reason::EmptyBraces, 2, ""},
             {"é{NOPE}", Reason::UnknownKeyName, 2, ""},
             {"{xy}", Reason::UnknownKeyName, 1, "{{}"},
             {"{LEFT 42 }", Reason::BadCount, 9, ""},
             {"{LEFT -1}", Reason::BadCount, 7, ""},
             {"ab{ENTER", Reason::MissingClosingBrace, 3, ""},
             {"\U0001F600}", Reason::StrayClosingBrace, 2, "character 2"},
             {"a}", Reason::StrayClosingBrace, 2, "{}}"},
             {"(a(b)", Reason::UnclosedGroup, 1, "{(}"},
             {"(a))", Reason::StrayClosingParenthesis, 4, "{)}"},
             {"many good keys{ENTER}{TAB 3}+a then )", Reason::StrayClosingParenthesis, 37, ""},
             {"((((a))))", Reason::GroupTooDeep, 4, ""},
             {"^+^a", Reason::RepeatedModifier, 3, "{^}"},
             {"+(a+b)", Reason::RepeatedModifier, 4, ""},
             {"C++", Reason::RepeatedModifier, 3, "{+}"},
             {"a{b 10000}", Reason::TooManyKeys, 2, "the text would type more than 10000 keys"},
             {"{a 99999999999999999999999999}", Reason::TooManyKeys, 1, ""},
             {"ab\xFF", Reason::InvalidUtf8, 3, "byte 3"},
             {"ab\x1F", Reason::ControlCharacter, 3, "The control character U+001F at character 3 cannot be typed"},
             {"~\xC2\x80", Reason::ControlCharacter, 2, "The control character U+0080 at character 2 cannot be typed"},
             {"\x7F", Reason::ControlCharacter, 1, "write {DEL}"},
             {"\x01", Reason::ControlCharacter, 1, "remove it"},
         }) {
        const KeyNotationError error = refusal(c.text);
        const std::string message = error.what();
        EXPECT_EQ(std::pair(error.reason(), error.position()), std::pair(c.reason, c.position))
            << c.text << ": " << message;
        EXPECT_NE(message.find(c.hint), std::string::npos) << c.text << ": " << message;
    }
}

TEST(KeyNotation, MessagesNeverQuoteTheText)
{
    for (const std::string_view text : {"Secret7{Secret7}", "Secret7{Secret7 9x}", "Secret7 Secret7}",
                                        "(Secret7", "Secret7\xFF", "{Secret7"}) {
        const std::string message = refusal(text).what();
        EXPECT_EQ(message.find("Secret"), std::string::npos) << message;
    }
}
