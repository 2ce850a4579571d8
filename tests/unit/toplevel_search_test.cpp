#include "platform/wayland/ToplevelSearch.h"

#include <gtest/gtest.h>

namespace qmpvx::wayland {
namespace {

// Toplevels as the compositor announced them, oldest first.
using Announced = std::list<Toplevel>;

Toplevel window(std::uint64_t id, std::string title, std::string appId = "foot", bool activated = false,
                bool closed = false)
{
    return {.id = id, .title = std::move(title), .appId = std::move(appId), .activated = activated, .closed = closed,
            .pendingTitle = {}, .pendingAppId = {}};
}

std::optional<std::uint64_t> named(const std::list<Toplevel>& toplevels, std::string_view title)
{
    const std::vector<TitledWindow> candidates = searchOrder(toplevels, "qm-pvx");
    const std::optional<std::size_t> found = findByTitle(candidates, title);
    return found ? std::optional(candidates[*found].id) : std::nullopt;
}

TEST(ToplevelSearch, ThisProgramsOwnWindowsAndClosedOnesAreNeverNamed)
{
    const Announced toplevels = {
        window(1, "QM-PVX - qm-pvx", "qm-pvx", true),
        window(2, "QM-PVX - Error", "qm-pvx"),
        window(3, "Notes", "gedit", false, true),
    };
    EXPECT_EQ(named(toplevels, "QM-PVX - qm-pvx"), std::nullopt) << "its own title, exactly";
    EXPECT_EQ(named(toplevels, "QM-PVX"), std::nullopt);
    EXPECT_EQ(named(toplevels, "Notes"), std::nullopt) << "closed";
    // A copy under another name is another program: its windows can be typed into.
    EXPECT_EQ(named({window(4, "QM-PVX - other", "other")}, "QM-PVX"), 4u);
}

TEST(ToplevelSearch, AnExactTitleWinsThenTheActivatedOneThenTheNewest)
{
    const Announced toplevels = {
        window(1, "Terminal 1"),
        window(2, "Terminal 2", "foot", true),
        window(3, "terminal"),
        window(4, "Terminal 3"),
    };
    EXPECT_EQ(named(toplevels, "TERMINAL"), 3u) << "exact ignoring case, though neither newest nor activated";
    EXPECT_EQ(named(toplevels, "Terminal "), 2u) << "of the titles beginning with it, the activated one";

    const Announced inactive = {window(1, "Terminal 1"), window(2, "Terminal 2"), window(3, "Other", "foot", true)};
    EXPECT_EQ(named(inactive, "Terminal"), 2u) << "else the newest";
    EXPECT_EQ(named(inactive, "Terminal 9"), std::nullopt);
}

} // namespace
} // namespace qmpvx::wayland
