#include "platform/posix/TerminationSignals.h"

#include "platform/Termination.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace qmpvx::posix {

namespace {

constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};
int wakeup[2] = {-1, -1};

void onSignal(int signal)
{
    if (terminationRequested()) {
        // Asked twice: the program may be stuck; end now, as without a handler.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    requestTermination(signal);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeup[1], &byte, 1);
}

} // namespace

void installTerminationHandlers()
{
    if (wakeup[0] < 0) {
        if (::pipe2(wakeup, O_CLOEXEC | O_NONBLOCK) != 0)
            return;  // the signals keep their default action
    }
    for (const int signal : kSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        for (const int other : kSignals)
            sigaddset(&action.sa_mask, other);
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
}

int terminationWakeupDescriptor()
{
    return wakeup[0];
}

void endAsSignalAsks() noexcept
{
    const int signal = terminationRequested();
    if (!signal)
        return;
    runTerminationCleanups();
    std::fprintf(stderr, "qm-pvx: ended by %s.\n", signalName(signal).c_str());
    std::fflush(stderr);
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    _exit(128 + signal);
}

} // namespace qmpvx::posix
