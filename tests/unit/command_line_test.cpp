#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace qmpvx::app;
using Action = CommandLineAnswer::Action;

namespace {

const ProgramFacts kFacts{"my-copy", "1.0", "/home/u/.config/QM_PVX/my-copy.conf", "man qm-pvx"};

CommandLineAnswer read(std::vector<std::string> arguments) { return readCommandLine(arguments, kFacts); }

} // namespace

TEST(CommandLine, NoArgumentsStartsTheProgram)
{
    EXPECT_EQ(read({}).action, Action::Start);
}

TEST(CommandLine, HelpAndVersionPrintAndEndWithSuccess)
{
    for (const char* option : {"--help", "-h"}) {
        const CommandLineAnswer help = read({option});
        EXPECT_EQ(help.action, Action::Print) << option;
        EXPECT_EQ(help.exitStatus, 0);
        EXPECT_TRUE(help.text.starts_with("Usage: my-copy [--help | --version]\n"));
        // This copy's own settings file, since the name chooses it.
        EXPECT_NE(help.text.find("\n  /home/u/.config/QM_PVX/my-copy.conf\n"), std::string::npos);
    }
    for (const char* option : {"--version", "-V"}) {
        EXPECT_EQ(read({option}).text, "my-copy (QM-PVX) 1.0\n") << option;
        EXPECT_EQ(read({option}).exitStatus, 0);
    }
}

TEST(CommandLine, AnythingElseIsRefusedWithStatusTwo)
{
    const struct {
        std::vector<std::string> arguments;
        std::string firstLine;
    } cases[] = {
        {{"--hlep"}, "my-copy: unknown option '--hlep'."},
        {{"-"}, "my-copy: unknown option '-'."},
        {{"--HELP"}, "my-copy: unknown option '--HELP'."},
        {{"Notepad"}, "my-copy: takes no arguments (got 'Notepad'); the title and the text are set in its window."},
        {{"--help", "--version"}, "my-copy: takes no arguments but --help or --version, alone."},
        {{"--version", "x"}, "my-copy: takes no arguments but --help or --version, alone."},
    };
    for (const auto& c : cases) {
        const CommandLineAnswer answer = read(c.arguments);
        EXPECT_EQ(answer.action, Action::Refuse) << c.firstLine;
        EXPECT_EQ(answer.exitStatus, 2);
        EXPECT_EQ(answer.text, c.firstLine + "\nTry 'my-copy --help' for more information.\n");
    }
}
