#pragma once

#include "platform/Automation.h"
#include "platform/keys/KeyNotation.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qmpvx {

// The keystroke object every platform hands out: "WScript.Shell" only, typing
// through the platform's own function.
std::unique_ptr<ShellObject> createShellObject(std::string_view className,
                                               std::function<void(std::string_view keys, bool wait)> type);

// The key actions of a text for the window activated last (its title, or none
// when nothing was activated). The whole text is checked before anything is
// typed; an error names the window, never the text.
std::vector<keys::KeyAction> keysToType(std::string_view text, const std::optional<std::string>& targetTitle);

} // namespace qmpvx
