#pragma once

#include "platform/Automation.h"
#include "platform/x11/XConnection.h"
#include "platform/x11/XTestTyping.h"

#include <memory>
#include <optional>

namespace qmpvx::x11 {

// Activation by title and typing on the program's own X connection, opened
// at the first use so that the program starts even where X11 cannot be
// reached; the error then comes with the first send.
class X11Automation final : public Automation {
public:
    void AppActivate(std::string_view title) override;
    std::unique_ptr<ShellObject> CreateObject(std::string_view className) override;

    // Types into the window activated last.
    void type(std::string_view keys, bool wait);

private:
    XConnection& connection();

    std::unique_ptr<XConnection> connection_;
    std::optional<TypingTarget> target_;
};

} // namespace qmpvx::x11
