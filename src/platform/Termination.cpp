#include "platform/Termination.h"

#include <atomic>
#include <csignal>
#include <map>

namespace qmpvx {

namespace {

std::atomic<int> pendingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

std::map<std::size_t, std::function<void()>>& cleanups()
{
    static std::map<std::size_t, std::function<void()>> registered;
    return registered;
}

} // namespace

int terminationRequested() noexcept
{
    return pendingSignal.load(std::memory_order_relaxed);
}

void requestTermination(int signal) noexcept
{
    pendingSignal.store(signal, std::memory_order_relaxed);
}

void stopIfTerminationRequested(const std::string& stopped)
{
    if (const int signal = terminationRequested())
        throw TerminationRequested(signal, stopped + ": the program was asked to end (" + signalName(signal) + ").");
}

std::string signalName(int signal)
{
    switch (signal) {
#ifdef SIGHUP
    case SIGHUP: return "SIGHUP";
#endif
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "signal " + std::to_string(signal);
    }
}

TerminationCleanup::TerminationCleanup(std::function<void()> cleanup)
{
    static std::size_t next = 0;
    id_ = next++;
    cleanups().emplace(id_, std::move(cleanup));
}

TerminationCleanup::~TerminationCleanup()
{
    cleanups().erase(id_);
}

void runTerminationCleanups() noexcept
{
    // Newest first, as destructors would run.
    for (auto it = cleanups().rbegin(); it != cleanups().rend(); ++it) {
        try {
            it->second();
        } catch (...) {
            // The others must still run.
        }
    }
}

} // namespace qmpvx
