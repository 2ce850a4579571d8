#include "platform/ShellObjects.h"

#include "platform/TitleMatch.h"

#include <stdexcept>

namespace qmpvx {

namespace {

class ForwardingShell final : public ShellObject {
public:
    explicit ForwardingShell(std::function<void(std::string_view, bool)> type) : type_(std::move(type)) {}
    void SendKeys(std::string_view keys, bool wait) override { type_(keys, wait); }

private:
    std::function<void(std::string_view, bool)> type_;
};

} // namespace

std::unique_ptr<ShellObject> createShellObject(std::string_view className,
                                               std::function<void(std::string_view keys, bool wait)> type)
{
    if (className != "WScript.Shell")
        throw std::runtime_error("Cannot create the object \"" + std::string(className) + "\".");
    return std::make_unique<ForwardingShell>(std::move(type));
}

std::vector<keys::KeyAction> keysToType(std::string_view text, const std::optional<std::string>& targetTitle)
{
    if (!targetTitle)
        throw std::runtime_error("No window was brought to the foreground to type into. Nothing was typed.");
    try {
        return keys::parseKeyNotation(text);
    } catch (const keys::KeyNotationError& error) {
        throw std::runtime_error("Nothing was typed into " + quotedTitle(*targetTitle) + ": " + error.what());
    }
}

} // namespace qmpvx
