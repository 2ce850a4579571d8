#pragma once

#include <functional>
#include <optional>
#include <string>

namespace qmpvx::ui {

// Runs an event's operation. A failure (the operation has stopped at the
// failing step) is written to standard error, and its message is returned
// for the toolkit to show.
std::optional<std::string> runCatchingFailure(const std::function<void()>& operation) noexcept;

} // namespace qmpvx::ui
