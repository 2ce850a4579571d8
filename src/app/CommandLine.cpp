#include "app/CommandLine.h"

namespace qmpvx::app {

namespace {

std::string help(const ProgramFacts& facts)
{
    return "Usage: " + facts.name + " [--help | --version]\n"
           "\n"
           "Types one configured line of text into another program's window, found by\n"
           "its title, optionally followed by Enter: by hand (\"Ready To Send\", then\n"
           "\"SEND TEXT STRING\"), or ten seconds after start-up with AutoStart ticked\n"
           "or after START, closing itself ten seconds later with AutoClose ticked.\n"
           "\n"
           "The window's position, its tick boxes, the title and the text are kept for\n"
           "each user in\n"
           "  " + facts.settingsLocation + "\n"
           "named after the program's file name: a copy or link under another name\n"
           "keeps settings of its own.\n"
           "\n"
           "Options:\n"
           "  -h, --help     show this help and exit\n"
           "  -V, --version  show the version and exit\n"
           "\n"
           "The key notation of the text and every setting: " + facts.reference + "\n";
}

CommandLineAnswer refuse(const ProgramFacts& facts, const std::string& why)
{
    return {CommandLineAnswer::Action::Refuse,
            facts.name + ": " + why + "\nTry '" + facts.name + " --help' for more information.\n", kUsageStatus};
}

} // namespace

CommandLineAnswer readCommandLine(const std::vector<std::string>& arguments, const ProgramFacts& facts)
{
    if (arguments.empty())
        return {};
    // A request counts only alone: anything beside it may be a mistyped
    // intent, and nothing starts on a guess.
    if (arguments.size() > 1)
        return refuse(facts, "takes no arguments but --help or --version, alone.");
    const std::string& argument = arguments.front();
    if (argument == "--help" || argument == "-h")
        return {CommandLineAnswer::Action::Print, help(facts), 0};
    if (argument == "--version" || argument == "-V")
        return {CommandLineAnswer::Action::Print, facts.name + " (QM-PVX) " + facts.version + "\n", 0};
    if (argument.starts_with('-'))
        return refuse(facts, "unknown option '" + argument + "'.");
    return refuse(facts, "takes no arguments (got '" + argument + "'); the title and the text are set in its window.");
}

} // namespace qmpvx::app
