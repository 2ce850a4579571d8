// Types a file's text (in the key notation) into the window with the given
// title on a wlroots compositor, on KWin or on GNOME (through the program's
// extension), the way the program's send does, and prints the seconds the
// send took.
#include "platform/wayland/GnomeAutomation.h"
#include "platform/wayland/KWinAutomation.h"
#include "platform/wayland/WaylandAutomation.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::cerr << "usage: wayland_type_text TITLE FILE\n";
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    try {
        using Clock = std::chrono::steady_clock;
        auto display = std::make_unique<qmpvx::wayland::WaylandDisplay>();
        std::unique_ptr<qmpvx::Automation> automation;
        if (qmpvx::wayland::GnomeShell::onSessionBus())
            automation = std::make_unique<qmpvx::wayland::GnomeAutomation>();
        else if (display->canTypeIntoWindows())
            automation = std::make_unique<qmpvx::wayland::WaylandAutomation>(std::move(display), nullptr);
        else
            automation = std::make_unique<qmpvx::wayland::KWinAutomation>(std::move(display));
        const auto start = Clock::now();
        automation->AppActivate(argv[1]);
        const auto shell = automation->CreateObject("WScript.Shell");
        shell->SendKeys(text.str(), true);
        const std::chrono::duration<double> sent = Clock::now() - start;
        std::printf("%.3f\n", sent.count());
    } catch (const std::exception& error) {
        std::cerr << "wayland_type_text: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
