// Kilnlight's own start-up, exactly as main.cpp runs it, reporting when its window is shown.

#include "bench/WindowShownProbe.h"
#include "platform/ApplicationMain.h"

#include <QCoreApplication>

namespace {
void installProbe()
{
    WindowShownProbe::install();
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)

int main(int argc, char *argv[])
{
    return applicationMain(argc, argv);
}
