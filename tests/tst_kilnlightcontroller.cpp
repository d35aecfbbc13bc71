#include "KilnlightController.h"
#include "TestSupport.h"
#include "platform/LogView.h"
#include "platform/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QAccessible>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>


using Prefs = std::optional<QByteArray>;
Q_DECLARE_METATYPE(Prefs)

class TestKilnlightController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readsTheLastUsableRenderFilename_data();
    void readsTheLastUsableRenderFilename();
    void buildsTheRendererCommandLine_data();
    void buildsTheRendererCommandLine();
    void buttonTogglesBetweenRenderAndStop();
    void lineEndsAndScrollingFollowTheOutput();
    void destroyingTheWindowStopsTheRender();

private:
    void writePreferences(const QByteArray &content) const;
    void pressRenderAndWaitForTheEnd();

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<MainWindowDefinition> mainWindow;
    QString argumentsFile;
};

void TestKilnlightController::init()
{
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", home->path().toUtf8());
    argumentsFile = home->filePath(QStringLiteral("arguments"));
    qputenv("FAKE_POVRAY_ARGS", argumentsFile.toUtf8());
    qputenv("FAKE_POVRAY_PID", home->filePath(QStringLiteral("pid")).toUtf8());
    setFakeScript({});
    mainWindow = std::make_unique<MainWindowDefinition>(QStringLiteral(FAKE_POVRAY));
}

void TestKilnlightController::cleanup()
{
    mainWindow.reset();
    home.reset();
}

void TestKilnlightController::writePreferences(const QByteArray &content) const
{
    QFile prefs(home->filePath(QStringLiteral(".mossworkprefs")));
    QVERIFY(prefs.open(QIODevice::WriteOnly));
    prefs.write(content);
}

void TestKilnlightController::pressRenderAndWaitForTheEnd()
{
    mainWindow->controls().renderButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow->controller().isRendering(), 10000);
}

void TestKilnlightController::readsTheLastUsableRenderFilename_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Prefs>("scene");
    QTest::newRow("plain") << QByteArray("other = 1\nrender_filename = \"/Users/me/scene.pov\"\n") << Prefs("/Users/me/scene.pov");
    QTest::newRow("value runs to the last quote") << QByteArray("render_filename \"a\"b\"\n") << Prefs("a\"b");
    QTest::newRow("later line wins") << QByteArray("render_filename \"/a.pov\"\nrender_filename \"/b.pov\"\n") << Prefs("/b.pov");
    QTest::newRow("unusable later line does not undo") << QByteArray("render_filename \"/a.pov\"\nrender_filename \"\"\n") << Prefs("/a.pov");
    QTest::newRow("key is a prefix test") << QByteArray("render_filenames\"/x.pov\"") << Prefs("/x.pov");
    QTest::newRow("empty value") << QByteArray("render_filename \"\"\n") << Prefs();
    QTest::newRow("opening quote only") << QByteArray("render_filename \"/x.pov\n") << Prefs();
    QTest::newRow("last byte is the opening quote") << QByteArray("render_filename \"") << Prefs();
    QTest::newRow("leading blank") << QByteArray(" render_filename \"/x.pov\"\n") << Prefs();
    QTest::newRow("wrong case") << QByteArray("Render_filename \"/x.pov\"\n") << Prefs();
}

void TestKilnlightController::readsTheLastUsableRenderFilename()
{
    QFETCH(QByteArray, content);
    QFETCH(Prefs, scene);
    writePreferences(content);
    QCOMPARE(KilnlightController::readRenderFilename(home->filePath(QStringLiteral(".mossworkprefs")).toUtf8()), scene);
}

void TestKilnlightController::buildsTheRendererCommandLine_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<Qt::CheckState>("antialias");
    QTest::addColumn<QString>("width");
    QTest::addColumn<QByteArrayList>("options");
    QTest::newRow("three characters write no file") << QStringLiteral("a.p") << Qt::Checked << QStringLiteral("640")
                                                    << QByteArrayList{"-F", "+P", "+A", "+W640", "+H480"};
    QTest::newRow("longer names a PNG") << QStringLiteral("x.png") << Qt::Unchecked << QStringLiteral("640")
                                        << QByteArrayList{"+Ox.png", "+FN", "+P", "+W640", "+H480"};
    QTest::newRow("partly checked is on") << QString() << Qt::PartiallyChecked << QStringLiteral("640")
                                          << QByteArrayList{"-F", "+P", "+A", "+W640", "+H480"};
    QTest::newRow("length counts UTF-16 units") << QStringLiteral(u"/é.png") << Qt::Unchecked << QString()
                                                << QByteArrayList{"+O/\xC3\xA9.png", "+FN", "+P", "+W", "+H480"};
}

void TestKilnlightController::buildsTheRendererCommandLine()
{
    QFETCH(QString, output);
    QFETCH(Qt::CheckState, antialias);
    QFETCH(QString, width);
    QFETCH(QByteArrayList, options);
    writePreferences("render_filename = \"/scenes/my scene.pov\"\n");
    Ui::MainWindow &controls = mainWindow->controls();
    controls.outputFile->setText(output);
    controls.antialias->setTristate(true);
    controls.antialias->setCheckState(antialias);
    controls.width->setText(width);
    controls.height->setText(QStringLiteral("480"));
    pressRenderAndWaitForTheEnd();
    const QByteArrayList expected = QByteArrayList{FAKE_POVRAY} + options + QByteArrayList{"\"/scenes/my scene.pov\""};
    QCOMPARE(readArguments(argumentsFile), expected);
}

void TestKilnlightController::buttonTogglesBetweenRenderAndStop()
{
    writePreferences("render_filename \"/x.pov\"\n");
    Ui::MainWindow &controls = mainWindow->controls();
    controls.textView->replaceText(QStringLiteral("previous render"));
    setFakeScript("out:first\\n;sleep:200;out:second\\n;forever");
    const auto accessibleName = [&] { return QAccessible::queryAccessibleInterface(controls.renderButton)->text(QAccessible::Name); };
    controls.renderButton->click();
    QCOMPARE(controls.renderButton->text(), QStringLiteral("Stop"));
    QCOMPARE(accessibleName(), QStringLiteral("Stop"));
    QTRY_COMPARE(controls.textView->text(), QStringLiteral("first\n"));
    QThread::msleep(500); // the second line now waits in the pipe, unread
    controls.renderButton->click();
    QCOMPARE(controls.renderButton->text(), QStringLiteral("Render"));
    QCOMPARE(accessibleName(), QStringLiteral("Render"));
    QVERIFY(!mainWindow->controller().isRendering());
    QCOMPARE(controls.textView->text(), QStringLiteral("first\nsecond\n"));
    QVERIFY(!processExists(readPid(home->filePath(QStringLiteral("pid")))));

    setFakeScript("out:done");
    pressRenderAndWaitForTheEnd();
    QCOMPARE(controls.textView->text(), QStringLiteral("done"));
    QCOMPARE(controls.renderButton->text(), QStringLiteral("Render"));
}

void TestKilnlightController::lineEndsAndScrollingFollowTheOutput()
{
    writePreferences("render_filename \"/x.pov\"\n");
    Ui::MainWindow &controls = mainWindow->controls();
    mainWindow->window().resize(600, 400);
    mainWindow->window().show();
    setFakeScript("out:a\\rb\\r;sleep:100;out:\\nc\\r\\nd\\n;sleep:100;flood:40000;sleep:300;out:tail");
    controls.renderButton->click();
    QTRY_VERIFY(controls.textView->text().contains(QLatin1String("0123")));
    QScrollBar *bar = controls.textView->verticalScrollBar();
    bar->setValue(0); // the user scrolls away; output still goes to the end, and the view follows it
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow->controller().isRendering(), 10000);
    QTRY_COMPARE(bar->value(), bar->maximum());
    QVERIFY(bar->maximum() > 0);
    const QString log = controls.textView->text();
    QVERIFY(log.startsWith(QLatin1String("a\nb\nc\nd\n0123")));
    QVERIFY(log.endsWith(QLatin1String("tail")));
    QVERIFY(!log.contains(u'\r'));
}

void TestKilnlightController::destroyingTheWindowStopsTheRender()
{
    writePreferences("render_filename \"/x.pov\"\n");
    setFakeScript("out:x;forever");
    mainWindow->controls().renderButton->click();
    QTRY_VERIFY(!mainWindow->controls().textView->text().isEmpty());
    const qint64 renderer = readPid(home->filePath(QStringLiteral("pid")));
    QVERIFY(processExists(renderer));
    mainWindow.reset();
    QVERIFY(!processExists(renderer));
}

QTEST_MAIN(TestKilnlightController)
#include "tst_kilnlightcontroller.moc"
