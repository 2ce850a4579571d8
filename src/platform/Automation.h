#pragma once

#include <memory>
#include <string_view>

namespace qmpvx {

// The keystroke object: injects keys, written in the key notation, into the
// foreground window. Released when its owner lets go of it.
class ShellObject {
public:
    virtual ~ShellObject() = default;

    // With wait, returns only once the keys have been delivered and the target
    // has had time to handle them.
    virtual void SendKeys(std::string_view keys, bool wait) = 0;
    void SendKeys(std::string_view keys) { SendKeys(keys, false); }
};

// Window activation by title and creation of the keystroke object.
class Automation {
public:
    virtual ~Automation() = default;

    // Brings the top-level window that matches the title to the foreground, or
    // throws: nothing may be typed then.
    virtual void AppActivate(std::string_view title) = 0;

    // The keystroke object for the class name "WScript.Shell"; throws for any other.
    virtual std::unique_ptr<ShellObject> CreateObject(std::string_view className) = 0;
};

} // namespace qmpvx
