// A thousand renders in a row through the real window and controller. The renderer stand-in ends by
// itself, floods until the user stops it, cannot be launched, leaves a grandchild holding the pipe or
// ignores SIGTERM. Every log is checked against the bytes the stand-in wrote: all of them, in order,
// for a run that ended by itself; an unbroken prefix of them for a stopped one. At the end descriptors,
// children, zombies, leftover grandchildren and peak memory are compared with their values before.

#include "TestSupport.h"
#include "platform/LogView.h"
#include "platform/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

constexpr int renders = 1000;
// The SIGTERM grace period makes each of these cost seconds, so there are only a few.
constexpr int ignoresTermEvery = 200;
// Peak memory may grow by one flooded log and what the allocator keeps of it, not with the count.
#ifdef __SANITIZE_ADDRESS__
// AddressSanitizer holds up to 256 MiB of freed memory back in quarantine, besides its shadow memory.
constexpr long peakMemoryGrowthLimitKiB = 512L * 1024;
#else
constexpr long peakMemoryGrowthLimitKiB = 32L * 1024;
#endif

struct Figures
{
    QStringList descriptorTargets;
    int descriptors = 0;
    int liveChildren = 0;
    int zombies = 0;
    long peakMemoryKiB = 0;
};

Figures measure()
{
    Figures figures;
    figures.descriptors = openDescriptorCount();
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &descriptor : descriptors.entryInfoList(QDir::Files | QDir::System))
        figures.descriptorTargets << descriptor.fileName() + QStringLiteral(" -> ") + descriptor.symLinkTarget();
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(QStringLiteral("/proc/self/task/%1/children").arg(task));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &pid : children.readAll().split(' ')) {
            if (pid.trimmed().isEmpty())
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid.trimmed())));
            const bool zombie = stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
            ++(zombie ? figures.zombies : figures.liveChildren);
        }
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    figures.peakMemoryKiB = usage.ru_maxrss; // NOLINT(cppcoreguidelines-pro-type-union-access): glibc declares it in a union
    return figures;
}

// Alive: neither gone nor a zombie, which a killed orphan stays until init gets round to it.
bool isAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

// Runs the loop one pass at a time, so that a flood cannot keep it busy past the moment done() holds.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QTimer wakeUp;
    wakeUp.start(5);
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// What fakepovray's flood command writes: its 80-byte line, over and over, cut after bytes.
QByteArray floodBytes(qsizetype bytes)
{
    const QByteArray line("0123456789012345678901234567890123456789012345678901234567890123456789012345678\n");
    return line.repeated(bytes / line.size() + 1).first(bytes);
}

// The log shows each lone CR and each CR LF as one line break.
QString logText(const QByteArray &written)
{
    QString text = QString::fromUtf8(written);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

class Torture
{
public:
    Torture()
        : renderer(home.filePath(QStringLiteral("povray")))
        , grandchildFile(home.filePath(QStringLiteral("grandchild")))
        , mainWindow(renderer)
    {
        qputenv("HOME", home.path().toUtf8());
        qputenv("FAKE_POVRAY_GRANDCHILD_PID", grandchildFile.toUtf8());
        QFile prefs(home.filePath(QStringLiteral(".mossworkprefs")));
        if (prefs.open(QIODevice::WriteOnly))
            prefs.write("render_filename \"/scenes/torture.pov\"\n");
        mainWindow.window().show();
    }

    // Returns what was wrong with the run, or nothing.
    QString render(int index)
    {
        const Kind kind = kindOf(index);
        QFile::remove(renderer);
        QFile::link(QStringLiteral(FAKE_POVRAY), renderer);
        QElapsedTimer timer;
        timer.start();
        QString fault = (this->*kind.run)(index);
        Timing &timing = timings[QString::fromLatin1(kind.name)];
        ++timing.count;
        timing.milliseconds += timer.elapsed();
        return fault;
    }

    void reportTimings() const
    {
        for (auto kind = timings.cbegin(); kind != timings.cend(); ++kind) {
            std::printf("%4d renders %-38s %6lld ms each on average\n", kind->count, qPrintable(kind.key()),
                        static_cast<long long>(kind->milliseconds / kind->count));
        }
    }

    [[nodiscard]] qint64 bytesChecked() const { return checked; }

    [[nodiscard]] int grandchildrenLeft() const { return strayGrandchildren; }

private:
    struct Kind
    {
        const char *name;
        QString (Torture::*run)(int index);
    };

    struct Timing
    {
        int count = 0;
        qint64 milliseconds = 0;
    };

    static Kind kindOf(int index)
    {
        if (index % 10 == 7)
            return {"that failed to launch", &Torture::failedLaunch};
        if (index % ignoresTermEvery == 9)
            return {"stopped while ignoring SIGTERM", &Torture::stoppedAfterSigtermIsIgnored};
        if (index % 10 == 5 || index % 10 == 6)
            return {"stopped in a flood", &Torture::stoppedInAFlood};
        if (index % 20 == 8)
            return {"ended when a grandchild did", &Torture::grandchildEndsTheRun};
        if (index % 20 == 18)
            return {"stopped, a grandchild holding the pipe", &Torture::grandchildOutlivesTheStop};
        return {"that ended by themselves", &Torture::endsByItself};
    }

    QString endsByItself(int index)
    {
        // A character split between writes, CR LF, a lone CR, both streams, then a flood of varying size.
        const qsizetype flood = qsizetype{index} * 997 % 150000;
        setFakeScript("out:render " + QByteArray::number(index) + " caf\\xC3;sleep:1;out:\\xA9\\r\\n;err:pass 1\\r;err:pass 2\\r\\n;flood:" +
                      QByteArray::number(flood) + ";out:\\xE2\\x82;sleep:1;out:\\xAC \\xF0\\x9F\\x98\\x80 done\\n");
        const QByteArray written = "render " + QByteArray::number(index) + " caf\xC3\xA9\r\npass 1\rpass 2\r\n" + floodBytes(flood) +
                                   "\xE2\x82\xAC \xF0\x9F\x98\x80 done\n";
        if (!pressRenderAndWaitForTheEnd())
            return QStringLiteral("did not end by itself");
        return expectExactly(logText(written));
    }

    QString stoppedInAFlood(int index)
    {
        const QByteArray header = "flood " + QByteArray::number(index) + "\n";
        setFakeScript("out:" + header + ";flood:1000000000000");
        if (!stopOnceShown(qsizetype{64} * 1024, 10000))
            return QStringLiteral("flood not shown");
        return expectFloodPrefix(QString::fromLatin1(header));
    }

    QString stoppedAfterSigtermIsIgnored(int index)
    {
        const QByteArray written = "ignoring SIGTERM " + QByteArray::number(index) + "\n";
        setFakeScript("ignoreterm;out:" + written + ";forever");
        return stopOnceShown(written.size(), 10000) ? expectExactly(logText(written)) : QStringLiteral("output not shown");
    }

    QString grandchildEndsTheRun(int index)
    {
        const QByteArray written = "grandchild " + QByteArray::number(index) + "\n";
        setFakeScript("grandchild:20;out:" + written + ";exit:0");
        if (!pressRenderAndWaitForTheEnd())
            return QStringLiteral("did not end with its grandchild");
        return grandchildGone() ? expectExactly(logText(written)) : QStringLiteral("grandchild left running");
    }

    QString grandchildOutlivesTheStop(int index)
    {
        const QByteArray written = "grandchild " + QByteArray::number(index) + " stays\n";
        setFakeScript("grandchild:600000;out:" + written + ";exit:0");
        if (!stopOnceShown(written.size(), 10000))
            return QStringLiteral("output not shown");
        return grandchildGone() ? expectExactly(logText(written)) : QStringLiteral("grandchild left running");
    }

    QString failedLaunch(int /*index*/)
    {
        QFile::remove(renderer);
        if (!pressRenderAndWaitForTheEnd())
            return QStringLiteral("failed launch left the window rendering");
        return expectExactly(QString::fromLatin1(KilnlightController::launchFailedMessage));
    }

    bool pressRenderAndWaitForTheEnd()
    {
        QFile::remove(grandchildFile);
        mainWindow.controls().renderButton->click();
        return waitFor([this] { return !mainWindow.controller().isRendering(); }, 30000);
    }

    bool stopOnceShown(qsizetype characters, int timeoutMs)
    {
        QFile::remove(grandchildFile);
        mainWindow.controls().renderButton->click();
        LogView *log = mainWindow.controls().textView;
        const bool shown = waitFor([&] { return log->length() >= characters; }, timeoutMs);
        mainWindow.controls().renderButton->click();
        return shown && !mainWindow.controller().isRendering();
    }

    // Checked at once: pids wrap around quickly on a busy machine.
    bool grandchildGone()
    {
        const qint64 grandchild = readPid(grandchildFile);
        if (grandchild > 0 && waitFor([grandchild] { return !isAlive(grandchild); }, 2000))
            return true;
        ++strayGrandchildren;
        return false;
    }

    QString expectExactly(const QString &expected)
    {
        const QString log = mainWindow.controls().textView->text();
        if (log != expected)
            return QStringLiteral("log differs: %1 characters, %2 expected").arg(log.size()).arg(expected.size());
        checked += expected.size();
        return {};
    }

    // The header, then an unbroken start of the flood, compared in place to keep peak memory honest.
    QString expectFloodPrefix(const QString &header)
    {
        const QString log = mainWindow.controls().textView->text();
        const QString line = logText(floodBytes(80));
        bool unbroken = log.startsWith(header);
        for (qsizetype at = header.size(); unbroken && at < log.size(); ++at)
            unbroken = log[at] == line[(at - header.size()) % line.size()];
        if (!unbroken)
            return QStringLiteral("log of %1 characters is no prefix of what was written").arg(log.size());
        checked += log.size();
        return {};
    }

    QTemporaryDir home;
    QString renderer; // a link that points at the stand-in, or at nothing for a failed launch
    QString grandchildFile;
    MainWindowDefinition mainWindow;
    int strayGrandchildren = 0;
    qint64 checked = 0;
    QMap<QString, Timing> timings;
};

void report(const char *what, long before, long after)
{
    std::printf("%-34s before %8ld, after %8ld\n", what, before, after);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QApplication application(argc, argv);
    Torture torture;
    // The first render loads fonts and plugins for good; the comparison starts after it.
    int failed = torture.render(0).isEmpty() ? 0 : 1;
    // Qt's own pooled threads, each with a descriptor, come and go as Qt likes; they are not ours.
    QThreadPool::globalInstance()->waitForDone();
    const Figures before = measure();
    for (int index = 1; index < renders; ++index) {
        if (const QString fault = torture.render(index); !fault.isEmpty()) {
            std::printf("render %d: %s\n", index, qPrintable(fault));
            ++failed;
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThreadPool::globalInstance()->waitForDone();
    const Figures after = measure();

    torture.reportTimings();
    report("open descriptors", before.descriptors, after.descriptors);
    report("live children", before.liveChildren, after.liveChildren);
    report("zombies", before.zombies, after.zombies);
    report("peak memory (ru_maxrss, KiB)", before.peakMemoryKiB, after.peakMemoryKiB);
    std::printf("grandchildren that outlived their render: %d\n", torture.grandchildrenLeft());
    std::printf("characters of log checked against what the stand-ins wrote: %lld\n",
                static_cast<long long>(torture.bytesChecked()));
    const bool clean = after.descriptors == before.descriptors && after.liveChildren == 0 && after.zombies == 0 &&
                       torture.grandchildrenLeft() == 0 &&
                       after.peakMemoryKiB - before.peakMemoryKiB <= peakMemoryGrowthLimitKiB;
    if (!clean) {
        for (const QString &descriptor : after.descriptorTargets) {
            if (!before.descriptorTargets.contains(descriptor))
                std::printf("new descriptor %s\n", qPrintable(descriptor));
        }
        std::printf("FAIL: the renders left something behind\n");
        ++failed;
    }
    std::printf("torture: %d passed, %d failed\n", renders - failed, failed);
    return failed == 0 ? 0 : 1;
}
