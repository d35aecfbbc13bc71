// The start-up baseline: a bare Qt main window, reporting when it is shown.

#include "bench/WindowShownProbe.h"

#include <QApplication>
#include <QMainWindow>

namespace {
void installProbe()
{
    WindowShownProbe::install();
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)

int main(int argc, char *argv[])
{
    const QApplication application(argc, argv);
    QMainWindow window;
    window.resize(720, 520); // the size of Kilnlight's window, so that only what is in it differs
    window.show();
    return QApplication::exec();
}
