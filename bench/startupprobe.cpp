// Kilnlight's own start-up, exactly as main.cpp runs it, reporting when its window is shown.

#include "platform/startup/ApplicationMain.h"

int main(int argc, char *argv[])
{
    return applicationMain(argc, argv);
}
