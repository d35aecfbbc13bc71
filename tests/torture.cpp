// A thousand renders in a row through the real window and controller. The renderer stand-in ends by
// itself, floods until the user stops it (and may take a while to end), cannot be launched, leaves
// a grandchild holding the pipe, leaves one in a session of its own that keeps writing to the pipe,
// or ignores SIGTERM. Every log is checked against the bytes the stand-in wrote: all of them, in
// order, for a run that ended by itself; for a flood, its start and then an unbroken prefix of the
// flood. At the end descriptors, children, zombies, leftover grandchildren and peak memory are
// compared with their values before.

#include "TestSupport.h"
#include "platform/log/LogView.h"
#include "platform/startup/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

constexpr int renders = 1000;
// Peak memory may grow by one flooded log and what the allocator keeps of it, not with the count.
#ifdef __SANITIZE_ADDRESS__
// AddressSanitizer holds up to 256 MiB of freed memory back in quarantine, besides its shadow memory.
constexpr long peakMemoryGrowthLimitKiB = 512L * 1024;
#else
constexpr long peakMemoryGrowthLimitKiB = 32L * 1024;
#endif
// What fakepovray's flood writes, over and over.
constexpr QByteArrayView floodLine("0123456789012345678901234567890123456789012345678901234567890123456789012345678\n");

// Descriptors, live children, zombies and peak memory in KiB, now.
struct Figures
{
    int descriptors = openDescriptorCount();
    int liveChildren = 0;
    int zombies = 0;
    long peakMemoryKiB = 0;
};

Figures measure()
{
    Figures figures;
    // Only the main thread starts children.
    QFile children(QStringLiteral("/proc/self/task/%1/children").arg(QCoreApplication::applicationPid()));
    for (const QString &pid : QString::fromLatin1(children.open(QIODevice::ReadOnly) ? children.readAll() : QByteArray()).split(u' ', Qt::SkipEmptyParts))
        ++(isRunning(pid.toLongLong()) ? figures.liveChildren : figures.zombies);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    figures.peakMemoryKiB = usage.ru_maxrss; // NOLINT(cppcoreguidelines-pro-type-union-access): glibc declares it in a union
    return figures;
}

// Runs the loop one pass at a time, so that a flood cannot keep it busy past the moment done() holds.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QTimer wakeUp;
    wakeUp.start(5);
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return done();
}

// One kind of render: what the stand-in does, what the log shows of it first, and whether the user
// stops it once that much is shown, and as much of a flood again. No script: the renderer is missing.
struct Kind
{
    QByteArray script;
    QByteArray written;
    bool stopped = false;
    [[nodiscard]] bool floods() const { return script.contains("stray") || (stopped && script.contains("flood")); }
    [[nodiscard]] bool leavesAGrandchild() const { return script.contains("stray") || script.contains("grandchild"); }
};

Kind kindOf(int index)
{
    const QByteArray n = QByteArray::number(index);
    if (index % 10 == 7)
        return {{}, KilnlightController::launchFailedMessage}; // the renderer is missing
    if (index % 200 == 9)
        return {"ignoreterm;out:deaf " + n + "\\n;forever", "deaf " + n + "\n", true}; // ignores SIGTERM when stopped
    if (index % 200 == 19)
        return {"out:stray " + n + "\\n;stray:600000:20;forever", "stray " + n + "\n", true}; // a grandchild outside the group writes on
    if (index % 10 == 5 || index % 10 == 6) // stopped in a flood, half of them taking a while to end, drained meanwhile
        return {"out:flood " + n + "\\n;" + (index % 10 == 6 ? "termlinger:20;" : "") + "flood:1000000000000", "flood " + n + "\n", true};
    if (index % 20 == 18)
        return {"grandchild:600000;out:stays " + n + "\\n", "stays " + n + "\n", true}; // stopped, a grandchild holding the pipe
    // A character split between writes, CR LF, a lone CR, both streams, then a flood of varying size.
    const qsizetype flood = qsizetype{index} * 997 % 150000;
    return {"out:render " + n + " caf\\xC3;sleep:1;out:\\xA9\\r\\n;err:pass 1\\r;err:pass 2\\r\\n;flood:" + QByteArray::number(flood) +
                ";out:\\xE2\\x82;sleep:1;out:\\xAC \\xF0\\x9F\\x98\\x80 done\\n",
            // The log shows each lone CR and each CR LF as one line break.
            "render " + n + " caf\xC3\xA9\npass 1\npass 2\n" + floodLine.toByteArray().repeated(flood / floodLine.size() + 1).first(flood) +
                "\xE2\x82\xAC \xF0\x9F\x98\x80 done\n"};
}

// Renders once through the window and returns what was wrong, or nothing. Grandchildren are checked
// at once: pids wrap around quickly on a busy machine.
QString render(const MainWindowDefinition &mainWindow, const Kind &kind, const QString &grandchildFile)
{
    Ui::MainWindow &controls = mainWindow.controls();
    const QString expected = QString::fromUtf8(kind.written);
    controls.renderButton->click();
    const qsizetype shown = expected.size() + (kind.floods() ? 8000 : 0);
    const bool settled = kind.stopped ? waitFor([&] { return controls.textView->length() >= shown; }, 10000)
                                      : waitFor([&] { return !mainWindow.controller().isRendering(); }, 30000);
    if (kind.stopped)
        controls.renderButton->click();
    if (!settled || mainWindow.controller().isRendering())
        return kind.stopped ? QStringLiteral("output not shown, or not stopped") : QStringLiteral("did not end by itself");
    const qint64 grandchild = readPid(grandchildFile);
    if (kind.leavesAGrandchild() && (grandchild == 0 || !waitFor([&] { return !isRunning(grandchild); }, 2000)))
        return QStringLiteral("grandchild left running");
    // Compared in place, to keep peak memory honest.
    const QString log = controls.textView->text();
    const QString line = QString::fromLatin1(floodLine);
    bool matches = log.startsWith(expected) && (kind.floods() || log.size() == expected.size());
    for (qsizetype at = expected.size(); matches && at < log.size(); ++at)
        matches = log[at] == line[(at - expected.size()) % line.size()];
    return matches ? QString() : QStringLiteral("log of %1 characters differs from the %2 written").arg(log.size()).arg(expected.size());
}

} // namespace

int main(int argc, char *argv[])
{
    const QApplication application(argc, argv);
    const QTemporaryDir home;
    const QString renderer = home.filePath(QStringLiteral("povray")); // a link to the stand-in, or to nothing
    const QString grandchildFile = home.filePath(QStringLiteral("grandchild"));
    qputenv("HOME", home.path().toUtf8());
    qputenv("FAKE_POVRAY_DIR", home.path().toUtf8());
    if (QFile prefs(home.filePath(QStringLiteral(".mossworkprefs"))); !prefs.open(QIODevice::WriteOnly) || prefs.write("render_filename \"/scenes/torture.pov\"\n") < 0)
        return 1;
    const MainWindowDefinition mainWindow(renderer);
    mainWindow.window().show();
    int failed = 0;
    Figures before;
    for (int index = 0; index < renders; ++index) {
        const Kind kind = kindOf(index);
        QFile::remove(renderer);
        QFile::remove(grandchildFile);
        if (!kind.script.isEmpty())
            QFile::link(QStringLiteral(FAKE_POVRAY), renderer);
        qputenv("FAKE_POVRAY_SCRIPT", kind.script);
        if (const QString fault = render(mainWindow, kind, grandchildFile); !fault.isEmpty()) {
            std::printf("render %d: %s\n", index, qPrintable(fault));
            ++failed;
        }
        // The first render loads fonts and plugins for good; the comparison starts after it. Qt's
        // own pooled threads, each with a descriptor, come and go as Qt likes; they are not ours.
        QThreadPool::globalInstance()->waitForDone();
        if (index == 0)
            before = measure();
    }
    // A child whose run ended by itself is reaped in the background, within its grace period, and
    // its wrapper, pipe and process handle go on the next passes of the main loop. The last
    // render's events may have set Qt's pool to work again.
    waitFor([&before] {
        QThreadPool::globalInstance()->waitForDone();
        const Figures now = measure();
        return now.liveChildren + now.zombies == 0 && now.descriptors <= before.descriptors;
    }, 5000);
    const Figures after = measure();

    for (const auto &[when, figures] : {std::pair{"before", before}, std::pair{"after", after}})
        std::printf("%s: %d descriptors, %d live children, %d zombies, %ld KiB peak memory\n", when, figures.descriptors, figures.liveChildren,
                    figures.zombies, figures.peakMemoryKiB);
    const bool leftovers = after.descriptors != before.descriptors || after.liveChildren + after.zombies > 0 ||
                           after.peakMemoryKiB - before.peakMemoryKiB > peakMemoryGrowthLimitKiB;
    std::printf("torture: %d of %d renders failed%s\n", failed, renders, leftovers ? ", and they left something behind" : "");
    return failed == 0 && !leftovers ? 0 : 1;
}
