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

TEST(KeyNotation, TypesCharactersLineBreaksKeysAndCounts)
{
    expectTyped({
        {"", ""},
        {"aB 1[x]", "'a' 'B' ' ' '1' '[' 'x' ']'"},
        {"é€\U0001F600", "'é' '€' '\U0001F600'"},
        {"a\tb~", "'a' {Tab} 'b' {Enter}"},
        {"\n\r\r\na\r", "{Enter} {Enter} {Enter} 'a' {Enter}"}, // CR LF is one line break
        {"{ENTER}{enter}{BS}{BKSP}{DEL}{ESC}", "{Enter} {Enter} {Backspace} {Backspace} {Delete} {Escape}"},
        {"{PGDN}{PRTSC}{f16}{ADD}{Divide}", "{PageDown} {PrintScreen} {F16} {KeypadAdd} {KeypadDivide}"},
        {"{+}{^}{%}{~}{(}{)}", "'+' '^' '%' '~' '(' ')'"},
        {"{{}{}}{ }{é}{\U0001F600}", "'{' '}' ' ' 'é' '\U0001F600'"},
        {"{TAB 3}", "{Tab} {Tab} {Tab}"},
        {"{a 2}{} 2}", "'a' 'a' '}' '}'"},
        {"{a 0}", ""},
    });
    EXPECT_EQ(parseKeyNotation("\U0001F600"), std::vector{KeyAction::tap(U'\U0001F600')});
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
        {"%~", "+Alt {Enter} -Alt"},
        {"+\r\n", "+Shift {Enter} -Shift"},
        {"%(ab)c", "+Alt 'a' 'b' -Alt 'c'"},
        {"a+^", "'a' +Shift +Ctrl -Ctrl -Shift"},
        {"(a+)b", "'a' +Shift 'b' -Shift"},
        {"((a^))b", "'a' +Ctrl 'b' -Ctrl"},
        {"%(a+)b", "+Alt 'a' -Alt +Shift 'b' -Shift"},
        {"+()a", "'a'"}, // an empty group types nothing, so holds nothing
    });
}

TEST(KeyNotation, TapsKnowTheCharacterThatNamesThem)
{
    // Positions count characters, not bytes; a repeat shares its name's; a
    // line break is where it begins; modifiers and their groups take none.
    const std::vector<KeyAction> actions = parseKeyNotation("é^(日){x 2}\r\n~{ENTER}+{é}");
    std::vector<std::size_t> positions;
    for (const KeyAction& action : actions)
        positions.push_back(action.position);
    EXPECT_EQ(describe(actions), "'é' +Ctrl '日' -Ctrl 'x' 'x' {Enter} {Enter} {Enter} +Shift 'é' -Shift");
    EXPECT_EQ(positions, (std::vector<std::size_t>{1, 0, 4, 0, 7, 7, 11, 13, 15, 0, 23, 0}));
}

TEST(KeyNotation, ErrorsReportReasonAndCharacterPosition)
{
    struct Refused {
        std::string_view text;
        Reason reason;
        std::size_t position;
    };
    for (const Refused& c : {
             Refused{"ab\xFF", Reason::InvalidUtf8, 3},
             {"\xC0\xAF", Reason::InvalidUtf8, 1},      // overlong
             {"\xED\xA0\x80", Reason::InvalidUtf8, 1},  // surrogate
             {"{}a}", Reason::EmptyBraces, 1},
             {"x{ a}", Reason::EmptyBraces, 2},
             {"é{NOPE}", Reason::UnknownKeyName, 2},
             {"{LEFT 42 }", Reason::BadCount, 9},
             {"{LEFT -1}", Reason::BadCount, 7},
             {"{LEFT 4x}", Reason::BadCount, 8},
             {"ab{ENTER", Reason::MissingClosingBrace, 3},
             {"{a}{b 3", Reason::MissingClosingBrace, 4},
             {"\U0001F600}", Reason::StrayClosingBrace, 2},
             {"(a(b)", Reason::UnclosedGroup, 1},
             {"(a))", Reason::StrayClosingParenthesis, 4},
             {"many good keys{ENTER}{TAB 3}+a then )", Reason::StrayClosingParenthesis, 37},
             {"((((a))))", Reason::GroupTooDeep, 4},
             {"^+^a", Reason::RepeatedModifier, 3},
             {"+(a+b)", Reason::RepeatedModifier, 4},
             {"a{b 10000}", Reason::TooManyKeys, 2},
             {"{a 99999999999999999999999999}", Reason::TooManyKeys, 1},
         }) {
        try {
            ADD_FAILURE() << "accepted, as: " << describe(parseKeyNotation(c.text)) << "\ntext: " << c.text;
        } catch (const KeyNotationError& error) {
            EXPECT_EQ(error.reason(), c.reason) << "text: " << c.text << "\n" << error.what();
            EXPECT_EQ(error.position(), c.position) << "text: " << c.text << "\n" << error.what();
        }
    }
}

// Tab and line breaks are keys; every other C0 control, DEL and the C1 controls
// refuse the whole text, wherever they stand, even inside braces.
TEST(KeyNotation, ControlCharactersOtherThanTabAndLineBreaksRefuseTheText)
{
    using namespace std::string_view_literals;
    expectTyped({
        {" {~}\xC2\xA0", "' ' '~' '\xC2\xA0'"}, // U+0020, U+007E, U+00A0
        {"\t\n\r{\t}", "{Tab} {Enter} {Enter} {Tab}"},
    });
    struct Refused {
        std::string_view text;
        std::size_t position;
        std::string_view code;
    };
    for (const Refused& c : {
             Refused{"ab\x1F", 3, "U+001F"},
             {"\x7F", 1, "U+007F"},
             {"~\xC2\x80", 2, "U+0080"},
             {"\xC2\x9F", 1, "U+009F"},
             {"ab\0cd"sv, 3, "U+0000"},
             {"é日\U0001F600\x01", 4, "U+0001"},
             {"{\x0B}", 2, "U+000B"},
             {"}(\x1B", 3, "U+001B"}, // before any other fault of the notation
         }) {
        try {
            ADD_FAILURE() << "accepted, as: " << describe(parseKeyNotation(c.text)) << "\nposition " << c.position;
        } catch (const KeyNotationError& error) {
            EXPECT_EQ(error.reason(), Reason::ControlCharacter) << error.what();
            EXPECT_EQ(error.position(), c.position) << error.what();
            const std::string expected = "The control character " + std::string(c.code) + " at character "
                + std::to_string(c.position) + " cannot be typed";
            EXPECT_EQ(std::string(error.what()).rfind(expected, 0), 0u) << error.what();
        }
    }
    EXPECT_NE(messageFor("\x7F").find("write {DEL}"), std::string::npos) << messageFor("\x7F");
    EXPECT_NE(messageFor("\x01").find("remove it"), std::string::npos) << messageFor("\x01");
}

TEST(KeyNotation, MessagesSayHowToTypeTheCharacterLiterally)
{
    for (const auto& [text, hint] : {std::pair{"C++", "{+}"}, {"^^", "{^}"}, {"a}", "{}}"}, {"(a", "{(}"},
                                     {"a)", "{)}"}, {"{xy}", "{{}"}, {"ab\xFF", "byte 3"}, {"xy}", "character 3"},
                                     {"{a 99999999}", "the text would type more than 10000 keys"}})
        EXPECT_NE(messageFor(text).find(hint), std::string::npos) << text << ": " << messageFor(text);
}

TEST(KeyNotation, MessagesNeverQuoteTheText)
{
    for (const std::string_view text : {"Secret7{Secret7}", "Secret7{Secret7 9x}", "Secret7 Secret7}",
                                        "(Secret7", "Secret7\xFF", "{Secret7"}) {
        const std::string message = messageFor(text);
        EXPECT_EQ(message.find("Secret"), std::string::npos) << message;
    }
}
