#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace qmpvx {

// A request to end the program (on Linux, SIGTERM, SIGINT or SIGHUP) that
// has not been acted on yet. Typing and every bounded wait look at it before
// each step, so that the keyboard is put back in order before the program ends.
int terminationRequested() noexcept;  // the signal number, 0 when none
void requestTermination(int signal) noexcept;  // async-signal-safe

// Thrown where a step was skipped because the program is ending.
class TerminationRequested : public std::runtime_error {
public:
    TerminationRequested(int signal, const std::string& message) : std::runtime_error(message), signal_(signal) {}
    int signal() const noexcept { return signal_; }

private:
    int signal_;
};

// Throws TerminationRequested, saying that `stopped` was cut short, when a
// termination is pending.
void stopIfTerminationRequested(const std::string& stopped);

// The name of a termination signal, as a user reads it ("SIGTERM").
std::string signalName(int signal);

// Work that must be done however the program ends early: given back before
// the program ends on a termination request. Registered for the life of the
// returned guard.
class TerminationCleanup {
public:
    explicit TerminationCleanup(std::function<void()> cleanup);
    ~TerminationCleanup();
    TerminationCleanup(const TerminationCleanup&) = delete;
    TerminationCleanup& operator=(const TerminationCleanup&) = delete;

private:
    std::size_t id_;
};

// Runs every registered cleanup (each one's failure is ignored: the others
// must still run). For the platform's ending of the program only.
void runTerminationCleanups() noexcept;

} // namespace qmpvx
