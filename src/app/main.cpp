#include "platform/Executable.h"
#include "platform/qt/QtSettingsService.h"
#include "platform/x11/X11Automation.h"
#include "settings/SettingsStore.h"
#include "ui/qt/EventDispatch.h"
#include "ui/qt/QtMainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // The name the program was started under, before Qt sees the arguments:
    // a link under another name is another program with its own settings.
    const std::string invokedAs = argc > 0 && argv[0] ? argv[0] : "";

    QApplication app(argc, argv);
    const std::string path = invokedAs.empty() ? QApplication::applicationFilePath().toStdString() : invokedAs;
    const qmpvx::StartedExecutable executable(qmpvx::executableNameFromPath(path, false));

    qmpvx::QtSettingsService settingsService;
    qmpvx::SettingsStore settings(settingsService, executable);
    qmpvx::x11::X11Automation automation;
    qmpvx::qt::EventDispatch dispatch;
    qmpvx::qt::QtMainWindow mainWindow(settings, executable, automation, dispatch);
    mainWindow.start();
    return QApplication::exec();
}
