#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace qmpvx::app;
using Action = CommandLineAnswer::Action;

namespace {

const ProgramFacts kFacts{"my-copy", "1.0", "/home/u/.config/QM_PVX/my-copy.conf", "man qm-pvx"};

CommandLineAnswer read(std::vector<std::string> arguments) { return readCommandLine(arguments, kFacts); }

} // namespace

// The long forms' texts are checked end to end, under a link's name.
TEST(CommandLine, NoArgumentsStartsAndHelpOrVersionPrintWithSuccess)
{
    EXPECT_EQ(read({}).action, Action::Start);
    for (const char* option : {"--help", "-h", "--version", "-V"}) {
        EXPECT_EQ(read({option}).action, Action::Print) << option;
        EXPECT_EQ(read({option}).exitStatus, 0) << option;
    }
    EXPECT_TRUE(read({"-h"}).text.starts_with("Usage: my-copy [--help | --version]\n"));
    EXPECT_EQ(read({"-V"}).text, "my-copy (QM-PVX) 1.0\n");
}

TEST(CommandLine, AnythingElseIsRefusedWithStatusTwo)
{
    const struct {
        std::vector<std::string> arguments;
        std::string firstLine;
    } cases[] = {
        {{"-"}, "my-copy: unknown option '-'."},
        {{"Notepad"}, "my-copy: takes no arguments (got 'Notepad'); the title and the text are set in its window."},
        {{"--help", "--version"}, "my-copy: takes no arguments but --help or --version, alone."},
    };
    for (const auto& c : cases) {
        const CommandLineAnswer answer = read(c.arguments);
        EXPECT_EQ(answer.action, Action::Refuse) << c.firstLine;
        EXPECT_EQ(answer.exitStatus, 2);
        EXPECT_EQ(answer.text, c.firstLine + "\nTry 'my-copy --help' for more information.\n");
    }
}
