#include "platform/startup/TerminationSignals.h"

#include <QCoreApplication>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t terminationSignals()
{
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGHUP);
    return handled;
}

} // namespace

TerminationSignals::TerminationSignals()
{
    const sigset_t handled = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    arrivals = UniqueFd(::signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK));
    // Without a descriptor to read them from, blocked signals could never end the application.
    if (!arrivals.isValid())
        pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    notifier.reset();
    const sigset_t handled = terminationSignals();
    pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
}

void TerminationSignals::quitOnArrival(QCoreApplication &application)
{
    if (!arrivals.isValid())
        return;
    notifier = std::make_unique<QSocketNotifier>(arrivals.get(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &application, [this] {
        signalfd_siginfo arrived{};
        while (::read(arrivals.get(), &arrived, sizeof arrived) == sizeof arrived) {
        }
        QCoreApplication::quit();
    });
}
