#pragma once

#include <string>
#include <vector>

namespace qmpvx::app {

// What the help and version texts tell about this copy of the program.
struct ProgramFacts {
    std::string name;              // the executable's name, as started
    std::string version;
    std::string settingsLocation;  // where this name's settings live
    std::string reference;         // where the notation and settings are described
};

// The program takes no arguments but a request for its help or its version.
struct CommandLineAnswer {
    enum class Action { Start, Print, Refuse };
    Action action = Action::Start;
    std::string text;  // Print: for the standard output; Refuse: the error
    int exitStatus = 0;
};

inline constexpr int kUsageStatus = 2;

// `arguments` excludes the program's own path.
CommandLineAnswer readCommandLine(const std::vector<std::string>& arguments, const ProgramFacts& facts);

} // namespace qmpvx::app
