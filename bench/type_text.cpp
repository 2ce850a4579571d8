// Types a file's text (in the key notation) into the window with the given
// title, the way the program's send does. Prints the wall-clock time at the
// start (seconds since the epoch, to compare with when the text arrived), the
// seconds the send took (what the user waits for), the seconds until the
// borrowed keycodes were given back (what the keyboard waits for), and how
// often typing waited for earlier keys to be read before it could change the
// keyboard.
#include "platform/x11/X11Automation.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::cerr << "usage: type_text TITLE FILE\n";
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    try {
        using Clock = std::chrono::steady_clock;
        qmpvx::x11::X11Automation automation;
        const std::chrono::duration<double> epoch = std::chrono::system_clock::now().time_since_epoch();
        const auto start = Clock::now();
        automation.AppActivate(argv[1]);
        const auto shell = automation.CreateObject("WScript.Shell");
        shell->SendKeys(text.str(), true);
        const std::chrono::duration<double> sent = Clock::now() - start;
        automation.settleLoans();
        const std::chrono::duration<double> settled = Clock::now() - start;
        std::printf("%.6f %.3f %.3f %zu\n", epoch.count(), sent.count(), settled.count(),
                    automation.lastReport().waits);
    } catch (const std::exception& error) {
        std::cerr << "type_text: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
