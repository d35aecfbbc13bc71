#include "platform/startup/ApplicationMain.h"

#include "platform/startup/MainWindowDefinition.h"
#include "platform/startup/TerminationSignals.h"

#include <QApplication>

int applicationMain(int argc, char **argv)
{
    TerminationSignals terminationSignals;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kilnlight"));
    // Lets the desktop match the window to kilnlight.desktop, and so to its name and icon.
    QApplication::setDesktopFileName(QStringLiteral("kilnlight"));
    terminationSignals.quitOnArrival(application);
    const MainWindowDefinition mainWindow;
    mainWindow.window().show();
    return QApplication::exec();
}
