#include "TaskWrapper.h"
#include "TestSupport.h"
#include "platform/process/UniqueFd.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <optional>
#include <fcntl.h>
#include <unistd.h>

// One run of the scripted renderer, and what it must show.
struct Run
{
    QByteArray script{};
    // Stopped 300 ms after its start, its output by then waiting in the pipe: the main loop does
    // not run meanwhile. Otherwise left to end by itself.
    bool stopped = false;
    ChildProcess::ExitNotice notice = ChildProcess::ExitNotice::PidFdWhereAvailable;
    QByteArray argument = "+P";
    QString events = QStringLiteral("started finished");
    QString output{};
    bool outputGoesOn = false; // output is only its start
    // Whether the child still runs when processFinished comes; a killed child may be dying then.
    std::optional<bool> childRunsAtFinish = false;
    bool drainOutlastsATick = false; // so the main loop must have run during the stop
    bool grandchildSurvives = false;
};
Q_DECLARE_METATYPE(Run)

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
    void processFinished() override
    {
        events += QStringLiteral(" finished");
        childRunsAtFinish = isRunning(readPid(scratch->filePath(QStringLiteral("pid"))));
    }
    void processStartedFailed() override { events += QStringLiteral(" failed"); }

private slots:
    void eachRunEndsAsPromised_data();
    void eachRunEndsAsPromised();

private:
    std::unique_ptr<QTemporaryDir> scratch;
    QString events;
    QString output; // its start: a flood would fill memory
    bool childRunsAtFinish = false;
};

void TestTaskWrapper::eachRunEndsAsPromised_data()
{
    QTest::addColumn<Run>("run");
    const auto row = [](const char *name, const Run &run) { QTest::newRow(name) << run; };
    row("silent child", {});
    // Both streams share one pipe, so a character may even be split between them.
    row("streams interleave, a character split between writes and one cut off at the end",
        {.script = "out:1;err:2;sleep:30;out:3\\xE2\\x82;sleep:50;err:\\xAC;out:a\\xE2\\x82", .output = QStringLiteral(u"123€a\uFFFD")});
    // Deaf to SIGTERM, so only a wrapper that neither waits for it nor kills it finds it running.
    row("closes its output and keeps running", {.script = "ignoreterm;out:x;closeout;forever", .output = QStringLiteral("x"), .childRunsAtFinish = true});
    // The grandchild is recorded before the output closes, so end of stream cannot come first.
    row("leaves a grandchild with its output closed",
        {.script = "out:x;quietgrandchild:30000;closeout", .output = QStringLiteral("x"), .grandchildSurvives = true});
    // Output written after SIGTERM is read to end of stream when output was waiting, and not at all
    // when none was; either way the main loop goes on, and nothing waits for the child to exit.
    row("stopped with output waiting, without a pidfd",
        {.script = "termout: late;termlinger:300;out:seen;forever", .stopped = true, .notice = ChildProcess::ExitNotice::Polling,
         .output = QStringLiteral("seen late"), .drainOutlastsATick = true});
    row("stopped with nothing waiting", {.script = "termout:late;termlinger:300;forever", .stopped = true, .childRunsAtFinish = true});
    row("stopped, a grandchild keeping the pipe open", {.script = "grandchild:30000;out:x;forever", .stopped = true, .output = QStringLiteral("x")});
    row("stopped, a grandchild outside the group flooding",
        {.script = "out:x;stray:20000;forever", .stopped = true, .output = QStringLiteral("x0123"), .outputGoesOn = true});
    row("stopped, ignoring SIGTERM, output waiting",
        {.script = "ignoreterm;out:x;forever", .stopped = true, .output = QStringLiteral("x"), .childRunsAtFinish = std::nullopt,
         .drainOutlastsATick = true});
    row("stopped, ignoring SIGTERM, nothing waiting", {.script = "ignoreterm;forever", .stopped = true, .childRunsAtFinish = true});
    row("argument with a NUL byte", {.argument = QByteArray("+W64\0+H1", 8), .events = QStringLiteral("started failed finished")});
}

void TestTaskWrapper::eachRunEndsAsPromised()
{
    QFETCH(Run, run);
    events.clear(), output.clear();
    scratch = std::make_unique<QTemporaryDir>();
    const QString grandchildFile = scratch->filePath(QStringLiteral("grandchild"));
    // Whatever fails, no grandchild outlives its row.
    const auto killGrandchild = qScopeGuard([&] {
        if (const qint64 grandchild = readPid(grandchildFile); isRunning(grandchild))
            ::kill(static_cast<pid_t>(grandchild), SIGKILL);
    });
    qputenv("FAKE_POVRAY_DIR", scratch->path().toUtf8());
    qputenv("FAKE_POVRAY_SCRIPT", run.script);
    // Opened without close-on-exec, as careless library code might: the child must not see it.
    const UniqueFd stray(::open("/dev/null", O_RDONLY));
    TaskWrapper wrapper(this, {FAKE_POVRAY, run.argument}, run.notice);
    wrapper.startProcess();
    const QString pidFile = scratch->filePath(QStringLiteral("pid"));
    if (run.stopped) {
        QTest::qSleep(300);
        // None of ours.
        QCOMPARE(QDir(QStringLiteral("/proc/%1/fd").arg(readPid(pidFile))).entryList(QDir::Files | QDir::System), QStringList({"0", "1", "2"}));
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(1);
        wrapper.stopProcess();
        QVERIFY(ticks > 0 || !run.drainOutlastsATick);
    }
    QTRY_VERIFY_WITH_TIMEOUT(events.endsWith(QLatin1String("finished")), 10000);
    const qint64 child = readPid(pidFile);
    QCOMPARE(childRunsAtFinish, run.childRunsAtFinish.value_or(childRunsAtFinish));
    wrapper.stopProcess(); // a finished wrapper stays silent
    QCOMPARE(events, run.events);
    QCOMPARE(run.outputGoesOn ? output.left(run.output.size()) : output, run.output);
    // Reaped in the background, after its grace period at the latest.
    QTRY_VERIFY_WITH_TIMEOUT(!processExists(child), 10000);
    QTRY_COMPARE(isRunning(readPid(grandchildFile)), run.grandchildSurvives);
}

QTEST_GUILESS_MAIN(TestTaskWrapper)
#include "tst_taskwrapper.moc"
