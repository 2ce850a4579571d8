#include "platform/keys/KeyNotation.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using namespace qmpvx::keys;
using Reason = KeyNotationError::Reason;

namespace {

struct Typed {
    std::string_view text;
    std::string_view actions; // as describe() writes them
};

void expectTyped(std::initializer_list<Typed> cases)
{
    for (const Typed& c : cases)
        EXPECT_EQ(describe(parseKeyNotation(c.text)), c.actions) << "text: " << c.text;
}

struct Refused {
    std::string_view text;
    Reason reason;
    std::size_t position;
};

void expectRefused(std::initializer_list<Refused> cases)
{
    for (const Refused& c : cases) {
        try {
            const auto actions = parseKeyNotation(c.text);
            ADD_FAILURE() << "accepted, as: " << describe(actions) << "\ntext: " << c.text;
        } catch (const KeyNotationError& error) {
            EXPECT_EQ(error.reason(), c.reason) << "text: " << c.text << "\n" << error.what();
            EXPECT_EQ(error.position(), c.position) << "text: " << c.text << "\n" << error.what();
        }
    }
}

std::string messageFor(std::string_view text)
{
    try {
        parseKeyNotation(text);
    } catch (const KeyNotationError& error) {
        return error.what();
    }
    return "(accepted)";
}

} // namespace

TEST(KeyNotationPlainText, CharactersAreTypedAsThemselves)
{
    expectTyped({
        {"", ""},
        {"aB 1", "'a' 'B' ' ' '1'"},
        {"[x]", "'[' 'x' ']'"},
        {"é€", "'é' '€'"},
        {"\U0001F600", "'\U0001F600'"},
        {"a\tb", "'a' {Tab} 'b'"},
        {"~", "{Enter}"},
    });
    EXPECT_EQ(parseKeyNotation("\U0001F600"), std::vector{KeyAction::tap(U'\U0001F600')});
}

TEST(KeyNotationPlainText, EachLineBreakIsOneEnter)
{
    expectTyped({
        {"a\r\nb", "'a' {Enter} 'b'"},
        {"a\rb", "'a' {Enter} 'b'"},
        {"a\nb", "'a' {Enter} 'b'"},
        {"\n\r\r\n\r", "{Enter} {Enter} {Enter} {Enter}"},
    });
}

TEST(KeyNotationBraces, NamesAKeyInAnyCaseOrOneCharacter)
{
    expectTyped({
        {"{ENTER}{enter}{Tab}", "{Enter} {Enter} {Tab}"},
        {"{BS}{BKSP}{BACKSPACE}{DEL}{INS}{ESC}", "{Backspace} {Backspace} {Backspace} {Delete} {Insert} {Escape}"},
        {"{PGDN}{PRTSC}{F1}{f16}{ADD}{Divide}", "{PageDown} {PrintScreen} {F1} {F16} {KeypadAdd} {KeypadDivide}"},
        {"{+}{^}{%}{~}{(}{)}", "'+' '^' '%' '~' '(' ')'"},
        {"{{}{}}{[}{]}{é}{\U0001F600}", "'{' '}' '[' ']' 'é' '\U0001F600'"},
        {"{ }", "' '"},
    });
}

TEST(KeyNotationBraces, CountsRepeatTheItem)
{
    expectTyped({
        {"{TAB 3}", "{Tab} {Tab} {Tab}"},
        {"{a 2}{} 2}", "'a' 'a' '}' '}'"},
        {"{x 007}", "'x' 'x' 'x' 'x' 'x' 'x' 'x'"},
        {"{a 0}", ""},
        {"+{a 0}b", "'b'"}, // a count of 0 holds no modifier either
    });
    EXPECT_EQ(parseKeyNotation("{LEFT  42}").size(), 42u);
    EXPECT_EQ(parseKeyNotation("{a 10000}").size(), kMaxKeyTaps);
    EXPECT_EQ(parseKeyNotation("a{b 9999}").size(), kMaxKeyTaps);
}

TEST(KeyNotationModifiers, HoldForTheNextUnit)
{
    expectTyped({
        {"+ab", "+Shift 'a' -Shift 'b'"},
        {"^A", "+Ctrl 'A' -Ctrl"},
        {"+^a", "+Shift +Ctrl 'a' -Ctrl -Shift"},
        {"^+{END}", "+Ctrl +Shift {End} -Shift -Ctrl"},
        {"+{a 3}", "+Shift 'a' 'a' 'a' -Shift"},
        {"%~", "+Alt {Enter} -Alt"},
        {"+\r\n", "+Shift {Enter} -Shift"},
        {"%(ab)c", "+Alt 'a' 'b' -Alt 'c'"},
        {"%", "+Alt -Alt"},
        {"a+^", "'a' +Shift +Ctrl -Ctrl -Shift"},
    });
}

TEST(KeyNotationModifiers, CarryOutOfAGroupWhenGivenBeforeItsEnd)
{
    expectTyped({
        {"(a+)b", "'a' +Shift 'b' -Shift"},
        {"((a^))b", "'a' +Ctrl 'b' -Ctrl"},
        {"%(a+)b", "+Alt 'a' -Alt +Shift 'b' -Shift"},
        {"(a+)", "'a' +Shift -Shift"},
        {"+()a", "'a'"}, // an empty group types nothing, so holds nothing
    });
}

TEST(KeyNotationGroups, NestThreeDeep)
{
    expectTyped({{"(((a)))", "'a'"}, {"+(a(b(c)))", "+Shift 'a' 'b' 'c' -Shift"}});
}

TEST(KeyNotationErrors, ReportReasonAndCharacterPosition)
{
    expectRefused({
        {"ab\xFF", Reason::InvalidUtf8, 3},
        {"é\xC3", Reason::InvalidUtf8, 2},
        {"\xC0\xAF", Reason::InvalidUtf8, 1},
        {"\xED\xA0\x80", Reason::InvalidUtf8, 1},
        {"\xF4\x90\x80\x80", Reason::InvalidUtf8, 1},
        {"\x80", Reason::InvalidUtf8, 1},
        {"{}", Reason::EmptyBraces, 1},
        {"{}a}", Reason::EmptyBraces, 1},
        {"x{ a}", Reason::EmptyBraces, 2},
        {"é{NOPE}", Reason::UnknownKeyName, 2},
        {"{ab}", Reason::UnknownKeyName, 1},
        {"{éé}", Reason::UnknownKeyName, 1},
        {"{ENTERENTERENTERENTER}", Reason::UnknownKeyName, 1},
        {"{LEFT 42 }", Reason::BadCount, 9},
        {"{LEFT -1}", Reason::BadCount, 7},
        {"{LEFT x}", Reason::BadCount, 7},
        {"{LEFT }", Reason::BadCount, 7},
        {"{LEFT 4x}", Reason::BadCount, 8},
        {"{", Reason::MissingClosingBrace, 1},
        {"ab{ENTER", Reason::MissingClosingBrace, 3},
        {"{a}{b 3", Reason::MissingClosingBrace, 4},
        {"}", Reason::StrayClosingBrace, 1},
        {"\U0001F600}", Reason::StrayClosingBrace, 2},
        {"(a", Reason::UnclosedGroup, 1},
        {"(a(b)", Reason::UnclosedGroup, 1},
        {"((a", Reason::UnclosedGroup, 2},
        {"a)", Reason::StrayClosingParenthesis, 2},
        {"(a))", Reason::StrayClosingParenthesis, 4},
        {"((((a))))", Reason::GroupTooDeep, 4},
        {"C++", Reason::RepeatedModifier, 3},
        {"^+^a", Reason::RepeatedModifier, 3},
        {"+(a+b)", Reason::RepeatedModifier, 4},
        {"(a%)%b", Reason::RepeatedModifier, 5},
        {"{a 10001}", Reason::TooManyKeys, 1},
        {"a{b 10000}", Reason::TooManyKeys, 2},
        {"{a 99999999}", Reason::TooManyKeys, 1},
        {"{a 99999999999999999999999999}", Reason::TooManyKeys, 1},
    });
}

TEST(KeyNotationErrors, AnErrorAnywhereRefusesTheWholeText)
{
    expectRefused({
        {"many good keys{ENTER}{TAB 3}+a then )", Reason::StrayClosingParenthesis, 37},
    });
}

TEST(KeyNotationErrors, MessagesSayHowToTypeTheCharacterLiterally)
{
    EXPECT_NE(messageFor("C++").find("{+}"), std::string::npos);
    EXPECT_NE(messageFor("^^").find("{^}"), std::string::npos);
    EXPECT_NE(messageFor("a}").find("{}}"), std::string::npos);
    EXPECT_NE(messageFor("(a").find("{(}"), std::string::npos);
    EXPECT_NE(messageFor("a)").find("{)}"), std::string::npos);
    EXPECT_NE(messageFor("{xy}").find("{{}"), std::string::npos);
    EXPECT_NE(messageFor("{a 99999999}").find("the text would type more than 10000 keys"), std::string::npos);
    EXPECT_NE(messageFor("ab\xFF").find("byte 3"), std::string::npos);
    EXPECT_NE(messageFor("xy}").find("character 3"), std::string::npos);
}

TEST(KeyNotationErrors, MessagesNeverQuoteTheText)
{
    for (const std::string_view text : {"Secret7{Secret7}", "Secret7{Secret7 9x}", "Secret7 Secret7}",
                                        "(Secret7", "Secret7\xFF", "{Secret7"}) {
        const std::string message = messageFor(text);
        EXPECT_EQ(message.find("Secret"), std::string::npos) << message;
    }
}
