#include "ui/EventFailure.h"

#include <cstdio>
#include <exception>

namespace qmpvx::ui {

namespace {

std::string written(std::string message)
{
    std::fprintf(stderr, "qm-pvx: %s\n", message.c_str());
    std::fflush(stderr);
    return message;
}

} // namespace

std::optional<std::string> runCatchingFailure(const std::function<void()>& operation) noexcept
{
    try {
        operation();
        return std::nullopt;
    } catch (const std::exception& error) {
        return written(error.what());
    } catch (...) {
        return written("An unexpected error occurred.");
    }
}

} // namespace qmpvx::ui
