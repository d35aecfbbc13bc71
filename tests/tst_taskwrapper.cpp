#include "TaskWrapper.h"
#include "TestSupport.h"
#include "platform/process/UniqueFd.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

// The test receives the wrapper's callbacks itself: those other than output as one line; output
// must come between start and finish.
class TestTaskWrapper : public QObject, public TaskWrapperController
{
    Q_OBJECT

public:
    void appendOutput(const QString &text) override
    {
        QVERIFY(!text.isEmpty() && events == QLatin1String("started"));
        if (output.size() < 4096)
            output += text;
        else // as slow as a window busy with a flood, so that a flooder keeps the pipe full
            QTest::qSleep(10);
    }
    void processStarted() override { events += QStringLiteral("started"); }
    void processFinished() override { events += QStringLiteral(" finished"); }
    void processStartedFailed() override { events += QStringLiteral(" failed"); }

private slots:
    void eachRunEndsAsPromised_data();
    void eachRunEndsAsPromised();

private:
    QString events;
    QString output; // its start: a flood would fill memory
};

// A run ends by itself, or, when its name says so, is stopped 300 ms after its start, its output by
// then waiting in the pipe: the main loop does not run meanwhile. Some rows go without a pidfd.
void TestTaskWrapper::eachRunEndsAsPromised_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const QByteArray &script, const QString &expected) { QTest::newRow(name) << script << expected; };
    row("silent child", {}, {});
    // Both streams share one pipe, so a character may even be split between them.
    row("streams interleave, a character split between writes and one cut off at the end",
        "out:1;err:2;sleep:30;out:3\\xE2\\x82;sleep:50;err:\\xAC;out:a\\xE2\\x82", QStringLiteral(u"123€a\uFFFD"));
    // Deaf to SIGTERM, so only a wrapper that neither waits for it nor kills it finds it running.
    row("closes its output and keeps running", "ignoreterm;out:x;closeout;forever", QStringLiteral("x"));
    row("leaves a grandchild with its output closed", "out:x;closeout;grandchild:600000", QStringLiteral("x"));
    // Output written at SIGTERM is read to end of stream when output was waiting, and not at all when none was.
    row("stopped with output waiting, without a pidfd", "termout: late;out:seen;forever", QStringLiteral("seen late"));
    row("stopped with nothing waiting", "termout:late;forever", QString());
    row("stopped, a grandchild keeping the pipe open", "grandchild:600000;out:x;forever", QStringLiteral("x"));
    row("stopped, a grandchild outside the group flooding", "out:x;stray:20000;forever", QStringLiteral("x0123"));
    row("stopped, ignoring SIGTERM", "ignoreterm;out:x;forever", QStringLiteral("x"));
    row("argument with a NUL byte", {}, {});
}

void TestTaskWrapper::eachRunEndsAsPromised()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, expected);
    events.clear(), output.clear();
    const QByteArray tag(QTest::currentDataTag());
    const bool stopped = tag.startsWith("stopped");
    const bool nul = tag.contains("NUL");
    const auto notice = tag.contains("without a pidfd") ? ChildProcess::ExitNotice::Polling : ChildProcess::ExitNotice::PidFdWhereAvailable;
    const QTemporaryDir scratch;
    const QString pidFile = scratch.filePath(QStringLiteral("pid"));
    qputenv("FAKE_POVRAY_DIR", scratch.path().toUtf8());
    qputenv("FAKE_POVRAY_SCRIPT", script);
    // Opened without close-on-exec, as careless library code might: the child must not see it.
    const UniqueFd stray(::open("/dev/null", O_RDONLY));
    TaskWrapper wrapper(this, {FAKE_POVRAY, nul ? QByteArray("+W64\0+H1", 8) : QByteArray("+P")}, notice);
    wrapper.startProcess();
    if (stopped) {
        QTest::qSleep(300);
        // None of ours.
        QCOMPARE(QDir(QStringLiteral("/proc/%1/fd").arg(readPid(pidFile))).entryList(QDir::Files | QDir::System), QStringList({"0", "1", "2"}));
        QElapsedTimer stopping;
        stopping.start();
        wrapper.stopProcess();
        // A child that honours SIGTERM ends the stop long before its grace period is up.
        const auto bound = script.contains("ignoreterm") ? TaskWrapper::terminationGracePeriod + TaskWrapper::killGracePeriod + std::chrono::milliseconds(500)
                                                         : TaskWrapper::terminationGracePeriod;
        QVERIFY2(stopping.elapsed() < bound.count(), qPrintable(QString::number(stopping.elapsed())));
        QVERIFY(!processExists(readPid(pidFile)));
    }
    QTRY_VERIFY_WITH_TIMEOUT(events.endsWith(QLatin1String("finished")), 10000);
    const qint64 child = readPid(pidFile);
    // What may still run after a natural end: the child until its grace period in the background is up,
    // or a grandchild that had closed its output.
    if (!stopped && script.endsWith("forever"))
        QVERIFY(isRunning(child));
    wrapper.stopProcess(); // a finished wrapper stays silent
    QCOMPARE(events, nul ? QStringLiteral("started failed finished") : QStringLiteral("started finished"));
    QCOMPARE(script.contains("stray") ? output.left(expected.size()) : output, expected);
    // Reaped in the background once its grace period is past.
    QTRY_VERIFY_WITH_TIMEOUT(!processExists(child), 10000);
    const qint64 grandchild = readPid(scratch.filePath(QStringLiteral("grandchild")));
    QTRY_COMPARE(isRunning(grandchild), script.contains("closeout;grandchild"));
    if (script.contains("closeout;grandchild"))
        ::kill(static_cast<pid_t>(grandchild), SIGKILL);
}

QTEST_GUILESS_MAIN(TestTaskWrapper)
#include "tst_taskwrapper.moc"
