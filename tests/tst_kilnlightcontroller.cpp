#include "KilnlightController.h"
#include "TestSupport.h"
#include "platform/log/LogView.h"
#include "platform/progress/ProgressIndicator.h"
#include "platform/startup/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fstream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// What the user finds and sets before pressing Render.
struct Press
{
    QByteArray preferences = "render_filename \"/my sc\xE8ne.pov\"\n";
    QByteArray program = FAKE_POVRAY;
    QByteArray script{}; // for the scripted renderer
    QString output{};
    Qt::CheckState antialias = Qt::Unchecked;
    QString width = QStringLiteral("640");
};
Q_DECLARE_METATYPE(Press)

// The whole window as a user drives it, with the scripted renderer in POV-Ray's place and a home
// directory of its own whose preferences name a scene path that is not UTF-8.
class TestKilnlightController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void eachInputHasItsOutcome_data();
    void eachInputHasItsOutcome();
    void followsALongRenderThenStops();
    void stopsARenderTheLogHasNoMemoryFor();
    void showsProgressBesideTheButton_data();
    void showsProgressBesideTheButton();
    void rendersThePngWithTheRealRenderer();
    void savesTheLogAsItStoodWhenChosen_data();
    void savesTheLogAsItStoodWhenChosen();
    void chooserWritesOnlyAConfirmedPng_data();
    void chooserWritesOnlyAConfirmedPng();

private:
    [[nodiscard]] QString homeFile(const char *name) const { return home->filePath(QLatin1String(name)); }
    void writeHomeFile(const char *name, const QByteArray &content) const { std::ofstream(homeFile(name).toStdString()) << content.toStdString(); }
    [[nodiscard]] Ui::MainWindow &pressRender(const Press &press);

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<MainWindowDefinition> mainWindow;
};

void TestKilnlightController::init()
{
    // Debian's POV-Ray reads and writes only below /tmp.
    home = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/kilnlight-test-XXXXXX"));
    qputenv("HOME", home->path().toUtf8());
    // Qt's file dialog remembers its state in the user's configuration; keep it out of the real one.
    qputenv("XDG_CONFIG_HOME", home->path().toUtf8());
    qputenv("FAKE_POVRAY_DIR", home->path().toUtf8());
}

// Counts one widget's paints.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject * /*watched*/, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// A new window set up as press says, its Render button pressed over the log of an earlier render.
Ui::MainWindow &TestKilnlightController::pressRender(const Press &press)
{
    writeHomeFile(".mossworkprefs", press.preferences);
    qputenv("FAKE_POVRAY_SCRIPT", press.script);
    mainWindow = std::make_unique<MainWindowDefinition>(QFile::decodeName(press.program));
    Ui::MainWindow &controls = mainWindow->controls();
    controls.outputFile->setText(press.output);
    controls.antialias->setTristate(true);
    controls.antialias->setCheckState(press.antialias);
    controls.width->setText(press.width);
    controls.textView->replaceText(QStringLiteral("previous render"));
    controls.renderButton->setText(QStringLiteral("untouched"));
    controls.renderButton->click();
    return controls;
}

void TestKilnlightController::eachInputHasItsOutcome_data()
{
    QTest::addColumn<Press>("press");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QByteArrayList>("options"); // between program and scene; none when it must not have run

    // A width with shell metacharacters and a line end goes as typed, in one argument.
    QTest::newRow("three characters in nine bytes write no file; width as typed")
        << Press{.output = QStringLiteral(u"€€€"), .antialias = Qt::Checked, .width = QStringLiteral(" 64\n+H1 ; rm -rf /")} << QString()
        << QByteArrayList{"-F", "+P", "+A", "+W 64\n+H1 ; rm -rf /", "+H480"};
    QTest::newRow("four characters name a PNG, in UTF-8; partly checked is on; empty width")
        << Press{.output = QStringLiteral(u"/é.p"), .antialias = Qt::PartiallyChecked, .width = QString()} << QString()
        << QByteArrayList{"+O/\xC3\xA9.p", "+FN", "+P", "+A", "+W", "+H480"};
    QTest::newRow("renderer missing") << Press{.program = "/nonexistent/povray"}
                                      << QStringLiteral("Failed to run /usr/local/bin/povray") << QByteArrayList();
    QTest::newRow("renderer floods bytes that are not UTF-8, then fails with its own error")
        << Press{.script = "flood:600000:\\xE2\\x82\\xACa\\xFF\\xC0;err:Parse Error\\n"}
        << QStringLiteral(u"€a\uFFFD\uFFFD").repeated(100000) + QStringLiteral("Parse Error\n") << QByteArrayList{"-F", "+P", "+W640", "+H480"};
    QTest::newRow("no preferences: nothing runs, the title stays")
        << Press{.preferences = ""} << QStringLiteral("No Mosswork preferences found") << QByteArrayList();
}

void TestKilnlightController::eachInputHasItsOutcome()
{
    QFETCH(Press, press);
    QFETCH(QString, log);
    QFETCH(QByteArrayList, options);
    Ui::MainWindow &controls = pressRender(press);
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow->controller().isRendering(), 10000);
    QCOMPARE(controls.textView->text(), log);
    const bool noPreferences = log == QLatin1String("No Mosswork preferences found");
    QCOMPARE(controls.renderButton->text(), noPreferences ? QStringLiteral("untouched") : QStringLiteral("Render"));
    QCOMPARE(controls.progressBar->isHidden(), noPreferences);
    if (options.isEmpty())
        QVERIFY(!QFile::exists(homeFile("arguments")));
    else
        QCOMPARE(readArguments(homeFile("arguments")), QByteArrayList{press.program} + options + QByteArrayList{"\"/my sc\xE8ne.pov\""});
}

void TestKilnlightController::followsALongRenderThenStops()
{
    Ui::MainWindow &controls = pressRender(
        {.script = "out:a\\rb\\r;sleep:100;out:\\nc\\r\\nd\\n;sleep:100;flood:40000;sleep:300;out:tail;sleep:200;out:waiting;termlinger:200;forever"});
    QCOMPARE(controls.renderButton->text(), QStringLiteral("Stop"));
    // Screen readers must hear the title change too.
    QCOMPARE(QAccessible::queryAccessibleInterface(controls.renderButton)->text(QAccessible::Name), QStringLiteral("Stop"));
    mainWindow->window().resize(600, 400);
    mainWindow->window().show();
    // A null icon here means the icon resource was not linked in or the SVG plugin is missing.
    QVERIFY(!mainWindow->window().windowIcon().pixmap(16).isNull());
    QTRY_VERIFY(controls.textView->text().contains(QLatin1String("0123")));
    QScrollBar *bar = controls.textView->verticalScrollBar();
    bar->setValue(0); // the user scrolls away; output still goes to the end, and the view follows it
    QTRY_VERIFY_WITH_TIMEOUT(controls.textView->text().endsWith(QLatin1String("tail")), 10000);
    QTRY_COMPARE(bar->value(), bar->maximum());
    QVERIFY(bar->maximum() > 0);
    QTest::qSleep(500); // the last output now waits in the pipe, unread
    const qint64 stopped = readPid(homeFile("pid"));
    // Render pressed again from the main loop while the stop drains: it starts once the stop is over.
    // A close asked for meanwhile waits for the stop too, which would otherwise end under it.
    QTimer::singleShot(20, controls.renderButton, &QPushButton::click);
    QTimer::singleShot(10, &mainWindow->window(), &QWidget::close);
    controls.renderButton->click();
    QCOMPARE(controls.renderButton->text(), QStringLiteral("Render"));
    QVERIFY(mainWindow->window().isVisible());
    const QString log = controls.textView->text();
    QVERIFY(log.startsWith(QLatin1String("a\nb\nc\nd\n0123")) && log.endsWith(QLatin1String("tailwaiting")));
    QTRY_VERIFY(!processExists(stopped) && mainWindow->controller().isRendering());
    QVERIFY(!controls.textView->text().contains(QLatin1String("waiting")));
    QVERIFY(!mainWindow->window().isVisible());
}

// In a child with little address space left, a flood fills the log: the note ends it, and the
// render is stopped rather than left running with its output dropped.
void TestKilnlightController::stopsARenderTheLogHasNoMemoryFor()
{
#if KILNLIGHT_UNDER_ASAN
    QSKIP("AddressSanitizer cannot run under an address-space limit");
#endif
    // A forked child has none of the parent's threads, which painting may wait on: the earlier
    // window goes before the fork, and the child's stays hidden.
    mainWindow.reset();
    const pid_t child = ::fork();
    if (child == 0) {
        Ui::MainWindow &controls = pressRender({.script = "flood:1000000000000;forever"});
        mainWindow->window().hide();
        QFile statm(QStringLiteral("/proc/self/statm"));
        statm.open(QIODevice::ReadOnly);
        const auto mapped = static_cast<rlim_t>(statm.readAll().split(' ').front().toLongLong() * ::sysconf(_SC_PAGESIZE));
        const rlimit limit{mapped + (64 << 20), mapped + (64 << 20)};
        ::setrlimit(RLIMIT_AS, &limit);
        const bool stopped = QTest::qWaitFor([this] { return !mainWindow->controller().isRendering(); }, 20000);
        const QString note = QStringLiteral("\nKilnlight: the log ran out of memory; the render was stopped.");
        const qsizetype length = controls.textView->length();
        ::_exit(stopped && length > (32 << 20) && controls.textView->textRange(length - note.size(), length) == note
                        && controls.renderButton->text() == QLatin1String("Render") && !processExists(readPid(homeFile("pid")))
                    ? 0 : 1);
    }
    int status = -1;
    QVERIFY(::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// What the indicator beside the button, its accessible value and the title show while the
// renderer writes POV-Ray's forms, and after it ends or is stopped; elapsed times read as T.
void TestKilnlightController::showsProgressBesideTheButton_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("running"); // label | title | bar value of maximum
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("desktop"); // fractions sent, then the outcome shown
    QTest::newRow("rendering, stopped")
        << QByteArray("out:==== [Rendering...] ===\\n;out:Rendered 1024 of 76800 pixels (1%)\\r;sleep:50;out:Rendered 34816 of 76800 pixels (45%)\\r;forever")
        << "Rendering 45% · T elapsed | 45% – Kilnlight | 45 of 100" << "Stopped at 45% after T | Kilnlight | 45 of 100" << "0.01 0.45 none; Stopped";
    QTest::newRow("paused, then stopped")
        << QByteArray("out:==== [Rendering...] ===\\nRendered 76800 of 76800 pixels (100%)\\r\\n;sleep:100;out:==== [Paused] ===\\nPress a key or click the display to continue...;forever")
        << "Done · waiting for the preview to be closed | Kilnlight | 100 of 100" << "Finished in T | Kilnlight | 100 of 100" << "1 none; Finished";
    QTest::newRow("failed parse, then stopped")
        << QByteArray("out:==== [Parsing...] ===\\nParsing 12K tokens\\r;err:Fatal error in parser: Cannot parse input.\\nRender failed\\n;forever")
        << "Parsing · 12K tokens · T elapsed | Kilnlight | 0 of 0" << "Failed after T | Kilnlight | 0 of 100" << "; Failed";
    QTest::newRow("nothing understood, stopped")
        << QByteArray("out:hello\\n;forever") << "Running · T elapsed | Kilnlight | 0 of 0" << "Stopped after T | Kilnlight | 0 of 100" << "; Stopped";
}

void TestKilnlightController::showsProgressBesideTheButton()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, running);
    QFETCH(QString, after);
    QFETCH(QString, desktop);
    writeHomeFile(".mossworkprefs", Press().preferences);
    qputenv("FAKE_POVRAY_SCRIPT", script);
    mainWindow = std::make_unique<MainWindowDefinition>(QStringLiteral(FAKE_POVRAY));
    Ui::MainWindow &controls = mainWindow->controls();
    QVERIFY(controls.progressBar->isHidden() && controls.progressLabel->isHidden());
    QStringList sent;
    QObject::connect(mainWindow->controller().progressIndicator(), &ProgressIndicator::renderedFractionChanged, [&](std::optional<double> fraction) {
        sent << (fraction ? QString::number(*fraction) : QStringLiteral("none"));
    });
    QObject::connect(mainWindow->controller().progressIndicator(), &ProgressIndicator::outcomeShown, [&](RenderOutcome outcome) {
        sent << QStringLiteral("; ") + QStringList{"Finished", "Failed", "Stopped", "Ended"}.at(static_cast<int>(outcome));
    });
    // Screen readers hear the bar's value and, as its description, what the label says.
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(controls.progressBar);
    QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("Render progress"));
    const auto shown = [&] {
        const QString label = controls.progressLabel->text();
        return QString(label).replace(QRegularExpression(QStringLiteral("\\d+:\\d\\d")), QStringLiteral("T")) + " | " + mainWindow->window().windowTitle() +
               QStringLiteral(" | %1 of %2").arg(bar->valueInterface()->currentValue().toInt()).arg(controls.progressBar->maximum()) +
               (bar->text(QAccessible::Description) == label ? "" : " (not heard)");
    };
    mainWindow->window().show();
    PaintCounter barPaints(controls.progressBar);
    controls.renderButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(shown(), running, 10000);
    QVERIFY(!controls.progressBar->isHidden());
    if (controls.progressBar->maximum() == 0)
        QTRY_VERIFY(barPaints.paints > 2); // busy, it moves
    if (mainWindow->controller().isRendering()) {
        QCOMPARE(controls.renderButton->text(), QStringLiteral("Stop"));
        controls.renderButton->click();
    }
    QTRY_VERIFY(!mainWindow->controller().isRendering());
    QCOMPARE(shown(), after);
    QCOMPARE(sent.join(u' ').replace(QLatin1String(" ;"), QLatin1String(";")), desktop);
    // Ended, the bar stays still until the next render; a last paint may come late.
    QTest::qWait(200);
    barPaints.paints = 0;
    QTest::qWait(250);
    QVERIFY2(barPaints.paints <= 1, qPrintable(QStringLiteral("%1 paints").arg(barPaints.paints)));
}

void TestKilnlightController::rendersThePngWithTheRealRenderer()
{
    QVERIFY(QFile::copy(QStringLiteral(DEMO_SCENE), homeFile("demo.pov")));
    writeHomeFile("povray.ini", "Display=Off\n"); // or +P would wait for a key
    qputenv("POVINI", homeFile("povray.ini").toUtf8());
    Ui::MainWindow &controls = pressRender({.preferences = "render_filename \"" + homeFile("demo.pov").toUtf8() + "\"\n",
                                            .program = POVRAY_EXECUTABLE, .output = homeFile("out.png"), .width = QStringLiteral("64")});
    double reached = 0;
    QObject::connect(mainWindow->controller().progressIndicator(), &ProgressIndicator::renderedFractionChanged,
                     [&](std::optional<double> fraction) { reached = std::max(reached, fraction.value_or(0)); });
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow->controller().isRendering(), 120000);
    QVERIFY(controls.progressLabel->text().startsWith(QLatin1String("Finished in ")));
    QCOMPARE(reached, 1.0);
    QVERIFY2(controls.textView->text().contains(QLatin1String("POV-Ray finished")), qPrintable(controls.textView->text()));
    QCOMPARE(QImage(homeFile("out.png"), "png").size(), QSize(64, 480));
}

enum SaveFault { NoFault, FileAsFolder, DiskFull, NewRender };

void TestKilnlightController::savesTheLogAsItStoodWhenChosen_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("told"); // how the message box begins; empty when saved
    QTest::newRow("saved") << int(NoFault) << QString();
    QTest::newRow("folder that is a file") << int(FileAsFolder) << QStringLiteral("The log could not be saved as ");
    QTest::newRow("disk full") << int(DiskFull) << QStringLiteral("The log could not be saved as ");
    QTest::newRow("new render") << int(NewRender) << QStringLiteral("The log was not saved: a new render replaced it");
}

// Output arrives while the dialog is open; a character outside the BMP straddles the pieces that
// the log is written in.
void TestKilnlightController::savesTheLogAsItStoodWhenChosen()
{
    QFETCH(int, fault);
    QFETCH(QString, told);
    Ui::MainWindow &controls = pressRender({.script = "out:caf\\xC3\\xA9 \\xD7\\xA9\\r\\n;forever"});
    mainWindow->window().show();
    QVERIFY(QTest::qWaitForWindowActive(&mainWindow->window()));
    QTRY_VERIFY(controls.textView->length() > 0);
    KilnlightController &controller = mainWindow->controller();
    controller.appendOutput(QString((1 << 18) - 1 - controls.textView->length(), u'x') + QStringLiteral(u"\U0001F600\n").repeated(300000));
    const QString log = controls.textView->text();
    writeHomeFile("file", "");
    QTest::keyClick(&mainWindow->window(), Qt::Key_S, Qt::ControlModifier);
    controller.appendOutput(QStringLiteral("after\n"));
    const QPointer<QFileDialog> panel = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    QVERIFY(panel && panel->parentWidget() == &mainWindow->window() && panel->windowModality() == Qt::WindowModal);
    auto *nameField = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    nameField->setText(homeFile(fault == FileAsFolder ? "file/saved.log" : "saved.log"));
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    const rlimit small{1 << 20, RLIM_INFINITY};
    const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &unlimited); static_cast<void>(::signal(SIGXFSZ, SIG_DFL)); });
    if (fault == DiskFull && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &small) != 0))
        QFAIL("cannot limit the file size");
    QTest::keyClick(nameField, Qt::Key_Return);
    if (fault == NewRender) {
        controls.renderButton->click();
        controls.renderButton->click();
    }
    if (told.isEmpty()) {
        QTRY_VERIFY(QFile::exists(homeFile("saved.log")));
        QFile saved(homeFile("saved.log"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), log.toUtf8());
        return;
    }
    QPointer<QMessageBox> box;
    QTRY_VERIFY((box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())));
    QVERIFY2(box->text().startsWith(told) && box->parentWidget() == &mainWindow->window(), qPrintable(box->text()));
    QCOMPARE(QDir(home->path()).entryList({QStringLiteral("saved.log*")}, QDir::Files | QDir::Hidden), QStringList());
    if (fault != NewRender)
        QCOMPARE(controls.textView->text(), log + QStringLiteral("after\n"));
}

// The chooser is opened, while a render runs, from the output field's text; what is typed and how
// the dialog is left decide what the field holds afterwards. %1 stands for the home folder, which
// is also the working directory, %2 for the folder the dialog shows when the field names none.
void TestKilnlightController::chooserWritesOnlyAConfirmedPng_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("shown"); // folder|name
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("result"); // null when cancelled: the field keeps its text
    QTest::newRow("typed name with another suffix") << "%1/sub/old.png" << "%1/sub|old.png" << "shot.jpg" << "%1/sub/shot.jpg.png";
    QTest::newRow("typed suffix in capitals") << "%1/sub/old.png" << "%1/sub|old.png" << "Big.PNG" << "%1/sub/Big.PNG";
    QTest::newRow("relative folder") << "sub/x" << "%1/sub|x" << "x" << "%1/sub/x.png";
    QTest::newRow("bare name") << "render.png" << "%2|render.png" << "render.png" << "%2/render.png";
    QTest::newRow("empty field") << "" << "%2|" << "out" << "%2/out.png";
    QTest::newRow("cancel keeps odd text exactly") << "%1/sub/" << "%1|sub" << "other" << QString();
    QTest::newRow("root folder") << "/x.png" << "/|x.png" << "x.png" << QString();
}

void TestKilnlightController::chooserWritesOnlyAConfirmedPng()
{
    QFETCH(QString, field);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, result);
    const auto expand = [&](QString text, const QString &folder) {
        return text.replace(QLatin1String("%1"), home->path()).replace(QLatin1String("%2"), folder);
    };
    QVERIFY(QDir(home->path()).mkdir(QStringLiteral("sub")));
    QDir::setCurrent(home->path());
    Ui::MainWindow &controls = pressRender({.script = "forever", .output = expand(field, {})});
    mainWindow->window().show();
    controls.setButton->click();
    // A labelled dialog, modal for the main window only.
    const QPointer<QFileDialog> panel = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    QVERIFY(panel && panel->parentWidget() == &mainWindow->window() && panel->windowModality() == Qt::WindowModal);
    QCOMPARE(panel->labelText(QFileDialog::FileName), QStringLiteral("Output file"));
    const QString folder = panel->directory().absolutePath();
    auto *nameField = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QCOMPARE(folder + u'|' + nameField->text(), expand(shown, folder));
    nameField->clear();
    QTest::keyClicks(nameField, typed);
    // Qt names the button after what a folder name would do, whatever its label otherwise.
    QVERIFY(result.isNull() || panel->labelText(QFileDialog::Accept) == QLatin1String("Set"));
    QTest::keyClick(nameField, result.isNull() ? Qt::Key_Escape : Qt::Key_Return);
    QTRY_VERIFY(panel.isNull());
    QCOMPARE(controls.outputFile->text(), expand(result.isNull() ? field : result, folder));
    // The render goes on under the dialog, and ends with the window; it is reaped in the background.
    QTRY_VERIFY(readPid(homeFile("pid")) > 0); // a busy machine may start it late
    const qint64 renderer = readPid(homeFile("pid"));
    QVERIFY(mainWindow->controller().isRendering() && processExists(renderer));
    mainWindow.reset();
    QTRY_VERIFY(!processExists(renderer));
}

QTEST_MAIN(TestKilnlightController)
#include "tst_kilnlightcontroller.moc"
