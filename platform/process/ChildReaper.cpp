#include "platform/process/ChildReaper.h"

#include <QCoreApplication>

#include <csignal>

namespace {

constexpr std::chrono::milliseconds exitPollInterval{20};
// After SIGKILL only the kernel is left to wait for.
constexpr std::chrono::seconds killedExitWait{10};

} // namespace

void ChildReaper::reapInBackground(std::unique_ptr<ChildProcess> child, std::chrono::milliseconds killAfter,
                                   ChildProcess::Reach reach)
{
    if (!QCoreApplication::instance()) {
        // With no event loop to wait in, ChildProcess's destructor ends what is left at once.
        if (reach == ChildProcess::Reach::ChildOnly)
            child->reap();
        return;
    }
    // Owned by the application from here on; it deletes itself once the child is reaped.
    auto *reaper = new ChildReaper(std::move(child), killAfter, reach, QCoreApplication::instance());
    reaper->reapIfExited();
}

void ChildReaper::finishAll()
{
    if (!QCoreApplication::instance())
        return;
    for (ChildReaper *reaper : QCoreApplication::instance()->findChildren<ChildReaper *>(Qt::FindDirectChildrenOnly))
        reaper->finishNow();
}

ChildReaper::ChildReaper(std::unique_ptr<ChildProcess> child, std::chrono::milliseconds killAfter, ChildProcess::Reach reach,
                         QObject *parent)
    : QObject(parent)
    , child(std::move(child))
    , reach(reach)
    , killDeadline(std::chrono::steady_clock::now() + killAfter)
{
    if (this->child->exitDescriptor() >= 0) {
        exitNotifier = std::make_unique<QSocketNotifier>(this->child->exitDescriptor(), QSocketNotifier::Read);
        connect(exitNotifier.get(), &QSocketNotifier::activated, this, &ChildReaper::reapIfExited);
    } else {
        connect(&exitPoll, &QTimer::timeout, this, &ChildReaper::reapIfExited);
        exitPoll.start(exitPollInterval);
    }
    killTimer.setSingleShot(true);
    connect(&killTimer, &QTimer::timeout, this, [this] { this->child->signal(SIGKILL, this->reach); });
    killTimer.start(killAfter);
}

void ChildReaper::reapIfExited()
{
    if (!child->hasExited())
        return;
    // Until the child is reaped its id, and so its group's, is not reused.
    if (reach == ChildProcess::Reach::WholeGroup)
        child->signal(SIGKILL, reach);
    // The notifier goes before reaping closes the descriptor it watches.
    exitNotifier.reset();
    exitPoll.stop();
    killTimer.stop();
    child->reap();
    deleteLater();
}

void ChildReaper::finishNow()
{
    if (!child->waitForExit(killDeadline))
        child->signal(SIGKILL, reach);
    child->waitForExit(std::chrono::steady_clock::now() + killedExitWait);
    if (reach == ChildProcess::Reach::WholeGroup)
        child->signal(SIGKILL, reach);
    exitNotifier.reset();
    child->reap();
    delete this;
}
