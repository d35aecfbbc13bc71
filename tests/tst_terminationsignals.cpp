#include "platform/startup/TerminationSignals.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <unistd.h>

// A termination signal must end the event loop normally, so that destructors stop a running render;
// unhandled, it would kill this process and the test would fail.
int main(int argc, char *argv[])
{
    TerminationSignals terminationSignals;
    QCoreApplication application(argc, argv);
    terminationSignals.quitOnArrival(application);
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        QTimer::singleShot(0, [signalNumber] { ::kill(::getpid(), signalNumber); });
        if (QCoreApplication::exec() != 0)
            qFatal("the signal did not end the event loop");
    }
}
