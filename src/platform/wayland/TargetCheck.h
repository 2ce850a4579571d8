#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qmpvx::wayland {

// The messages of the Wayland routes about the window being typed into.

// The window typed into: the compositor's id for it, its title for messages.
struct TypingTarget {
    std::uint64_t id;
    std::string title;
};

// Throws, before any window is looked for, when the title is empty.
void requireTitle(std::string_view title);
std::runtime_error noSuchWindow(std::string_view title);

std::runtime_error notBroughtForward(const std::string& title, const std::string& why);

// For a termination request after `typed` of `total` keys.
std::string stoppedAfter(const std::string& title, std::size_t typed, std::size_t total);

// The target as the check right before a key found it.
enum class TargetState { Active, Inactive, Closed };

// Returns for an active target; else throws what the user is told, before
// the first key or after `typed` of `total`.
void requireActive(TargetState state, const std::string& title, std::size_t typed, std::size_t total);

} // namespace qmpvx::wayland
