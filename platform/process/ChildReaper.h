#pragma once

#include "platform/process/ChildProcess.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <memory>

// Reaps a child in the background, so that nobody waits for it, and leaves no zombie: a child that
// has not exited within the time given gets SIGKILL with the reach given. With the whole group as
// reach, what the child left in its group is killed as soon as the child itself has exited. The
// reaper deletes itself once the child is reaped; until then the application owns it.
class ChildReaper : public QObject
{
    Q_OBJECT

public:
    // Without an application, and so without an event loop to wait in, the child and its group are
    // ended at once.
    static void reapInBackground(std::unique_ptr<ChildProcess> child, std::chrono::milliseconds killAfter,
                                 ChildProcess::Reach reach);

    // For the end of the application, once its windows are gone: gives every child still being
    // reaped the rest of its time, kills what is left of it as its reaper would have, and reaps it.
    static void finishAll();

private:
    using Deadline = ChildProcess::Deadline;

    ChildReaper(std::unique_ptr<ChildProcess> child, std::chrono::milliseconds killAfter, ChildProcess::Reach reach,
                QObject *parent);
    void reapIfExited();
    void finishNow();

    std::unique_ptr<ChildProcess> child;
    ChildProcess::Reach reach;
    Deadline killDeadline;
    std::unique_ptr<QSocketNotifier> exitNotifier; // on the child's pidfd, when it has one
    QTimer exitPoll;                               // when it has none
    QTimer killTimer;
};
