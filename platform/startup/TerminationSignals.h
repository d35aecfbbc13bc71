#pragma once

#include "platform/process/UniqueFd.h"

#include <QSocketNotifier>

#include <memory>

class QCoreApplication;

// Turns SIGINT, SIGTERM and SIGHUP into a normal quit of the event loop, so that a render still
// running is stopped like at any other quit instead of being orphaned. Construct it before the
// application object, so that every thread started later inherits the blocked signals. Should the
// system refuse the descriptor that reports them, they stay unblocked and keep their usual effect.
class TerminationSignals
{
public:
    TerminationSignals();
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;
    TerminationSignals(TerminationSignals &&) = delete;
    TerminationSignals &operator=(TerminationSignals &&) = delete;
    ~TerminationSignals();

    void quitOnArrival(QCoreApplication &application);

private:
    UniqueFd arrivals; // a signalfd
    std::unique_ptr<QSocketNotifier> notifier;
};
