#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace qmpvx {

// The running program's name: the file name it was started under, without
// directory. A copy or link under another name is another name.
class Executable {
public:
    virtual ~Executable() = default;
    virtual std::string name() const = 0;
};

// The name part of the path a program was started with; a trailing ".exe"
// (any case) is dropped only where the platform marks programs with it.
std::string executableNameFromPath(std::string_view invokedPath, bool stripExeExtension);

} // namespace qmpvx

namespace qmpvx {

// The name fixed at start-up: it cannot change while the program runs.
class StartedExecutable final : public Executable {
public:
    explicit StartedExecutable(std::string name) : name_(std::move(name)) {}
    std::string name() const override { return name_; }

private:
    std::string name_;
};

} // namespace qmpvx
