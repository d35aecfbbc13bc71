#include "platform/process/ChildReaper.h"

#include <QCoreApplication>

#include <csignal>

namespace {

constexpr std::chrono::milliseconds exitPollInterval{20};

} // namespace

void ChildReaper::reapInBackground(std::unique_ptr<ChildProcess> child, std::chrono::milliseconds killAfter)
{
    if (child->reap() || !QCoreApplication::instance())
        return;
    // Owned by the application from here on; it deletes itself once the child is reaped.
    new ChildReaper(std::move(child), killAfter, QCoreApplication::instance());
}

ChildReaper::ChildReaper(std::unique_ptr<ChildProcess> child, std::chrono::milliseconds killAfter, QObject *parent)
    : QObject(parent)
    , child(std::move(child))
{
    if (this->child->exitDescriptor() >= 0) {
        exitNotifier = std::make_unique<QSocketNotifier>(this->child->exitDescriptor(), QSocketNotifier::Read);
        connect(exitNotifier.get(), &QSocketNotifier::activated, this, &ChildReaper::reapIfExited);
    } else {
        connect(&exitPoll, &QTimer::timeout, this, &ChildReaper::reapIfExited);
        exitPoll.start(exitPollInterval);
    }
    killTimer.setSingleShot(true);
    connect(&killTimer, &QTimer::timeout, this, [this] { this->child->signal(SIGKILL, ChildProcess::Reach::ChildOnly); });
    killTimer.start(killAfter);
}

void ChildReaper::reapIfExited()
{
    if (!child->hasExited())
        return;
    // The notifier goes before reaping closes the descriptor it watches.
    exitNotifier.reset();
    exitPoll.stop();
    killTimer.stop();
    child->reap();
    deleteLater();
}
