#include "platform/startup/ApplicationMain.h"

#include "platform/desktop/SessionBus.h"
#include "platform/process/ChildReaper.h"
#include "platform/startup/MainWindowDefinition.h"
#include "platform/startup/TerminationSignals.h"
#include "platform/x11/SelectionServer.h"

#include <QApplication>

int applicationMain(int argc, char **argv)
{
    TerminationSignals terminationSignals;
    SessionBus::keepAnyFromStarting();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kilnlight"));
    // Lets the desktop match the window to kilnlight.desktop, and so to its name and icon.
    QApplication::setDesktopFileName(QStringLiteral("kilnlight"));
    terminationSignals.quitOnArrival(application);
    const auto selectionServer = SelectionServer::forApplication();
    return runMainWindow(KilnlightController::defaultRendererPath());
}

int runMainWindow(const QString &rendererPath)
{
    int status = 0;
    {
        const MainWindowDefinition mainWindow(rendererPath);
        mainWindow.window().show();
        status = QApplication::exec();
        // Gone from the screen before the render is stopped, whatever ended the loop.
        mainWindow.window().hide();
        QGuiApplication::sync();
    }
    ChildReaper::finishAll();
    return status;
}
