#include "platform/ApplicationMain.h"

#include "platform/MainWindowDefinition.h"

#include <QApplication>

int applicationMain(int argc, char **argv)
{
    const QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kilnlight"));
    const MainWindowDefinition mainWindow;
    mainWindow.window().show();
    return QApplication::exec();
}
