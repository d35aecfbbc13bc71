#include "TaskWrapper.h"
#include "TestSupport.h"
#include "platform/UniqueFd.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Records the callbacks as one line, consecutive outputs folded into one word.
class RecordingController final : public TaskWrapperController
{
public:
    QString events;
    QString output;
    bool finished = false;

    void appendOutput(const QString &text) override
    {
        QVERIFY(!text.isEmpty());
        if (!events.endsWith(QLatin1String("output")))
            record(QStringLiteral("output"));
        output += text;
    }
    void processStarted() override { record(QStringLiteral("started")); }
    void processFinished() override
    {
        record(QStringLiteral("finished"));
        finished = true;
    }
    void processStartedFailed() override { record(QStringLiteral("failed")); }

private:
    void record(const QString &event) { events += (events.isEmpty() ? QString() : QStringLiteral(" ")) + event; }
};

} // namespace

class TestTaskWrapper : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void reportsEachRunInOrder_data();
    void reportsEachRunInOrder();
    void stopHandsOverOnlyWhatWasWaiting_data();
    void stopHandsOverOnlyWhatWasWaiting();
    void finishedWrapperStaysSilent();
    void stopIsBoundedWhateverTheChildDoes_data();
    void stopIsBoundedWhateverTheChildDoes();

private:
    QTemporaryDir scratch;
    QString pidFile;
};

void TestTaskWrapper::init()
{
    pidFile = scratch.filePath(QStringLiteral("pid"));
    QFile::remove(pidFile);
    qputenv("FAKE_POVRAY_PID", pidFile.toUtf8());
    qputenv("FAKE_POVRAY_GRANDCHILD_PID", scratch.filePath(QStringLiteral("grandchild")).toUtf8());
}

void TestTaskWrapper::reportsEachRunInOrder_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("output");
    const QByteArray fake(FAKE_POVRAY);
    const QString ran = QStringLiteral("started output finished");
    QTest::newRow("silent child") << fake << QByteArray() << QStringLiteral("started finished") << QString();
    QTest::newRow("missing program") << QByteArray("/nonexistent/povray") << QByteArray() << QStringLiteral("started failed finished") << QString();
    QTest::newRow("streams interleave in write order") << fake << QByteArray("out:1;err:2;sleep:30;out:3;err:4;err:5") << ran << QStringLiteral("12345");
    QTest::newRow("character split between writes") << fake << QByteArray("out:\\xE2\\x82;sleep:50;out:\\xAC!") << ran << QStringLiteral(u"€!");
    QTest::newRow("character cut off at the end") << fake << QByteArray("out:a\\xE2\\x82") << ran << QStringLiteral(u"a\uFFFD");
    QTest::newRow("sees none of our descriptors") << fake << QByteArray("fds") << ran << QStringLiteral("0 1 2\n");
    QTest::newRow("closes its output and keeps running") << fake << QByteArray("out:x;closeout;forever") << ran << QStringLiteral("x");
}

void TestTaskWrapper::reportsEachRunInOrder()
{
    QFETCH(QByteArray, program);
    QFETCH(QByteArray, script);
    QFETCH(QString, events);
    QFETCH(QString, output);
    setFakeScript(script);
    // Opened without close-on-exec, as careless library code might: the child must not see it.
    const UniqueFd stray(::open("/dev/null", O_RDONLY));
    RecordingController controller;
    TaskWrapper wrapper(&controller, {program, "+P"});
    wrapper.startProcess();
    QTRY_VERIFY_WITH_TIMEOUT(controller.finished, 10000);
    QCOMPARE(controller.events, events);
    QCOMPARE(controller.output, output);
    QVERIFY(!processExists(readPid(pidFile)));
}

void TestTaskWrapper::stopHandsOverOnlyWhatWasWaiting_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("output");
    QTest::newRow("output waiting") << QByteArray("out:seen;sleep:100;out: late;forever") << QStringLiteral("started output finished") << QStringLiteral("seen late");
    QTest::newRow("nothing waiting") << QByteArray("forever") << QStringLiteral("started finished") << QString();
}

void TestTaskWrapper::stopHandsOverOnlyWhatWasWaiting()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, events);
    QFETCH(QString, output);
    setFakeScript(script);
    RecordingController controller;
    TaskWrapper wrapper(&controller, {FAKE_POVRAY});
    wrapper.startProcess();
    // The main loop does not run meanwhile, so everything written so far waits in the pipe.
    QThread::msleep(400);
    wrapper.stopProcess();
    QCOMPARE(controller.events, events);
    QCOMPARE(controller.output, output);
    QVERIFY(!processExists(readPid(pidFile)));
}

void TestTaskWrapper::finishedWrapperStaysSilent()
{
    setFakeScript("out:x");
    RecordingController controller;
    {
        TaskWrapper wrapper(&controller, {FAKE_POVRAY});
        wrapper.startProcess();
        QTRY_VERIFY(controller.finished);
        wrapper.stopProcess();
    }
    QCOMPARE(controller.events, QStringLiteral("started output finished"));
}

void TestTaskWrapper::stopIsBoundedWhateverTheChildDoes_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::newRow("ignores SIGTERM with output waiting") << QByteArray("ignoreterm;out:x;forever");
    QTest::newRow("ignores SIGTERM with nothing waiting") << QByteArray("ignoreterm;forever");
    QTest::newRow("grandchild keeps the pipe open") << QByteArray("grandchild:600000;out:x;forever");
}

void TestTaskWrapper::stopIsBoundedWhateverTheChildDoes()
{
    QFETCH(QByteArray, script);
    setFakeScript(script);
    RecordingController controller;
    TaskWrapper wrapper(&controller, {FAKE_POVRAY});
    wrapper.startProcess();
    QThread::msleep(300);
    QElapsedTimer stopping;
    stopping.start();
    wrapper.stopProcess();
    // A hang guard, not a speed target: the grace periods add up to four seconds.
    QVERIFY2(stopping.elapsed() < 8000, qPrintable(QString::number(stopping.elapsed())));
    QVERIFY(controller.events.endsWith(QLatin1String("finished")));
    QVERIFY(!processExists(readPid(pidFile)));
    const qint64 grandchild = readPid(scratch.filePath(QStringLiteral("grandchild")));
    QTRY_VERIFY(!processExists(grandchild));
}

QTEST_GUILESS_MAIN(TestTaskWrapper)
#include "tst_taskwrapper.moc"
