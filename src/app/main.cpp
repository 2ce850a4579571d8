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

int main(int argc, char* argv[])
{
    // The name the program was started under, before Qt sees the arguments:
    // a link under another name is another program with its own settings.
    const std::string invokedAs = argc > 0 && argv[0] ? argv[0] : "";

    // A signal must not end the program while the keyboard is borrowed.
    qmpvx::posix::installTerminationHandlers();
    QApplication app(argc, argv);
    QSocketNotifier termination(qmpvx::posix::terminationWakeupDescriptor(), QSocketNotifier::Read);
    QObject::connect(&termination, &QSocketNotifier::activated, [] { qmpvx::posix::endAsSignalAsks(); });

    const std::string path = invokedAs.empty() ? QApplication::applicationFilePath().toStdString() : invokedAs;
    const qmpvx::StartedExecutable executable(qmpvx::executableNameFromPath(path, false));

    qmpvx::QtSettingsService settingsService;
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
