#include "TestSupport.h"
#include "platform/startup/ApplicationMain.h"
#include "platform/startup/TerminationSignals.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

bool anyBlocked(std::initializer_list<int> signalNumbers)
{
    sigset_t blocked;
    pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    return std::ranges::any_of(signalNumbers, [&](int signalNumber) { return sigismember(&blocked, signalNumber) == 1; });
}

// Presses Render once the window is up, and sends the signal once the renderer runs.
void renderThenSignal(int signalNumber, const QString &pidFile)
{
    const auto windows = QApplication::topLevelWidgets();
    const auto window = std::ranges::find_if(windows, [](QWidget *widget) { return qobject_cast<QMainWindow *>(widget) != nullptr; });
    if (window == windows.end()) {
        QTimer::singleShot(1, [=] { renderThenSignal(signalNumber, pidFile); });
        return;
    }
    (*window)->findChild<QPushButton *>(QStringLiteral("renderButton"))->click();
    auto *running = new QTimer(*window);
    QObject::connect(running, &QTimer::timeout, [=] {
        if (readPid(pidFile) != 0)
            ::kill(::getpid(), signalNumber), running->stop();
    });
    running->start(10);
}

} // namespace

// A termination signal must end the event loop normally, so that destructors stop a running render;
// unhandled, it would kill this process and the test would fail. The window then goes, and the
// renderer is given its grace period and then killed, deaf to SIGTERM or not, before the process
// may end.
int main(int argc, char *argv[])
{
    {
        // Without a descriptor left for their signalfd, the signals must keep their usual effect.
        rlimit descriptors{};
        ::getrlimit(RLIMIT_NOFILE, &descriptors);
        const rlimit none{0, descriptors.rlim_max};
        ::setrlimit(RLIMIT_NOFILE, &none);
        const TerminationSignals refused;
        ::setrlimit(RLIMIT_NOFILE, &descriptors);
        if (anyBlocked({SIGTERM, SIGINT, SIGHUP}))
            qFatal("the signals stayed blocked without their signalfd");
    }
    TerminationSignals terminationSignals;
    QApplication application(argc, argv);
    terminationSignals.quitOnArrival(application);
    const QTemporaryDir home;
    const QString pidFile = home.filePath(QStringLiteral("pid"));
    qputenv("HOME", home.path().toUtf8());
    qputenv("FAKE_POVRAY_DIR", home.path().toUtf8());
    if (QFile prefs(home.filePath(QStringLiteral(".mossworkprefs"))); !prefs.open(QIODevice::WriteOnly) || prefs.write("render_filename \"/q.pov\"\n") < 0)
        qFatal("cannot write the preferences");
    QTimer::singleShot(30000, [] { QCoreApplication::exit(1); });
    const std::array<std::pair<int, QByteArray>, 3> quits{{{SIGTERM, "ignoreterm;out:deaf;forever"}, {SIGINT, "forever"}, {SIGHUP, "out:x;forever"}}};
    for (const auto &quit : quits) {
        const int signalNumber = quit.first;
        QFile::remove(pidFile);
        qputenv("FAKE_POVRAY_SCRIPT", quit.second);
        QTimer::singleShot(0, [signalNumber, &pidFile] { renderThenSignal(signalNumber, pidFile); });
        if (runMainWindow(QStringLiteral(FAKE_POVRAY)) != 0)
            qFatal("signal %d did not end the event loop", signalNumber);
        if (processExists(readPid(pidFile)))
            qFatal("the renderer outlived the quit on signal %d", signalNumber);
    }
}
