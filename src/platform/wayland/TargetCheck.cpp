#include "platform/wayland/TargetCheck.h"

#include "platform/TitleMatch.h"

namespace qmpvx::wayland {

namespace {

std::string counted(std::size_t typed, std::size_t total)
{
    return std::to_string(typed) + " of " + std::to_string(total) + " keys";
}

} // namespace

void requireTitle(std::string_view title)
{
    if (title.empty())
        throw std::runtime_error("No target window title is set. Enter the title of the window to type into, "
                                 "or the beginning of it.");
}

std::runtime_error noSuchWindow(std::string_view title)
{
    return std::runtime_error("No window with the title " + quotedTitle(title) +
                              " or a title beginning with it is open. Open that window first, or check the "
                              "title for typing mistakes. Nothing was typed.");
}

std::runtime_error notBroughtForward(const std::string& title, const std::string& why)
{
    return std::runtime_error("Could not bring the window " + quotedTitle(title) + " to the foreground: " + why +
                              " Nothing was typed.");
}

std::string stoppedAfter(const std::string& title, std::size_t typed, std::size_t total)
{
    return "Typing into " + quotedTitle(title) + " stopped after " + counted(typed, total) +
           ", and nothing further was typed";
}

void requireActive(TargetState state, const std::string& title, std::size_t typed, std::size_t total)
{
    if (state == TargetState::Active)
        return;
    if (typed == 0)
        throw std::runtime_error("The window " + quotedTitle(title) + " no longer has the focus. Nothing was typed.");
    if (state == TargetState::Closed)
        throw std::runtime_error("Typing stopped: the window " + quotedTitle(title) + " closed after " +
                                 counted(typed, total) + ".");
    throw std::runtime_error("Typing stopped: the window " + quotedTitle(title) + " lost the focus after " +
                             counted(typed, total) + ". Nothing further was typed.");
}

} // namespace qmpvx::wayland
