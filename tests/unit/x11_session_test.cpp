#include "platform/x11/XConnection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace qmpvx::x11 {
namespace {

using ::testing::HasSubstr;

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_.empty() ? unsetenv(name_) : setenv(name_, old_.c_str(), 1); }

private:
    const char* name_;
    std::string old_;
};

std::string sessionError()
{
    try {
        XConnection connection;
    } catch (const NoX11Session& error) {
        return error.what();
    }
    return {};
}

TEST(NoX11Session, SaysWhatIsMissing)
{
    const ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    {
        const ScopedEnv display("DISPLAY", nullptr);
        EXPECT_THAT(sessionError(), HasSubstr("needs an X11 session (DISPLAY is not set)"));
    }
    const ScopedEnv display("DISPLAY", ":4711");
    EXPECT_THAT(sessionError(), HasSubstr("cannot be reached"));
}

TEST(NoX11Session, OnWaylandOnlyXWaylandWindowsCanBeReached)
{
    const ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
    const ScopedEnv display("DISPLAY", nullptr);
    const std::string message = sessionError();
    EXPECT_THAT(message, HasSubstr("Wayland"));
    EXPECT_THAT(message, HasSubstr("XWayland"));
}

} // namespace
} // namespace qmpvx::x11
