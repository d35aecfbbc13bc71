#pragma once

#include "platform/process/ChildProcess.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <memory>

// Reaps a child in the background, so that nobody waits for it, and leaves no zombie: a child that
// has not exited within the time given gets SIGKILL, it alone and not its group. The reaper deletes
// itself once the child is reaped; until then the application owns it, and should the application
// end first, the child and its group are killed and reaped as ChildProcess's destructor does.
class ChildReaper : public QObject
{
    Q_OBJECT

public:
    // Without an application, and so without an event loop to wait in, the child is ended at once.
    static void reapInBackground(std::unique_ptr<ChildProcess> child, std::chrono::milliseconds killAfter);

private:
    ChildReaper(std::unique_ptr<ChildProcess> child, std::chrono::milliseconds killAfter, QObject *parent);
    void reapIfExited();

    std::unique_ptr<ChildProcess> child;
    std::unique_ptr<QSocketNotifier> exitNotifier; // on the child's pidfd, when it has one
    QTimer exitPoll;                               // when it has none
    QTimer killTimer;
};
