#include "app/CommandLine.h"
#include "platform/Executable.h"
#include "platform/posix/TerminationSignals.h"
#include "platform/qt/QtSettingsService.h"
#include "platform/wayland/DesktopChoice.h"
#include "settings/SettingsStore.h"
#include "ui/qt/EventDispatch.h"
#include "ui/qt/QtMainWindow.h"
#include "ui/qt/QtScheduler.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char* argv[])
{
    // The name the program was started under, before Qt sees the arguments:
    // a link under another name is another program with its own settings.
    std::string invokedAs = argc > 0 && argv[0] ? argv[0] : "";
    if (invokedAs.empty()) {
        std::error_code unreadable;
        invokedAs = std::filesystem::read_symlink("/proc/self/exe", unreadable).string();
    }
    const qmpvx::StartedExecutable executable(qmpvx::executableNameFromPath(invokedAs, false));
    qmpvx::QtSettingsService settingsService;

    // Answered before anything starts: no display is needed for the help.
    const qmpvx::app::CommandLineAnswer answer = qmpvx::app::readCommandLine(
        std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc),
        {executable.name(), QMPVX_VERSION, settingsService.location(qmpvx::kSettingsApp, executable.name()),
         "man qm-pvx"});
    if (answer.action != qmpvx::app::CommandLineAnswer::Action::Start) {
        std::fputs(answer.text.c_str(), answer.action == qmpvx::app::CommandLineAnswer::Action::Print ? stdout : stderr);
        return answer.exitStatus;
    }

    // A signal must not end the program while the keyboard is borrowed.
    qmpvx::posix::installTerminationHandlers();
    QApplication app(argc, argv);
    QSocketNotifier termination(qmpvx::posix::terminationWakeupDescriptor(), QSocketNotifier::Read);
    QObject::connect(&termination, &QSocketNotifier::activated, [] { qmpvx::posix::endAsSignalAsks(); });

    qmpvx::SettingsStore settings(settingsService, executable);
    qmpvx::qt::EventDispatch dispatch;
    qmpvx::qt::QtScheduler scheduler(dispatch);
    // Before the window shows: a run killed while typing may have left keys
    // held or keycodes borrowed.
    const std::unique_ptr<qmpvx::Automation> automation = qmpvx::wayland::automationForDesktop(&scheduler);
    qmpvx::qt::QtMainWindow mainWindow(settings, executable, *automation, dispatch);
    mainWindow.start();
    return QApplication::exec();
}
