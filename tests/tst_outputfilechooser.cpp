#include "KilnlightController.h"
#include "TestSupport.h"
#include "platform/LogView.h"
#include "platform/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestOutputFileChooser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startsFromTheFieldAndWritesOnlyAConfirmedChoice_data();
    void startsFromTheFieldAndWritesOnlyAConfirmedChoice();
    void worksWhileARenderRuns();

private:
    // The chooser just opened, when it is the labelled sheet on the window.
    [[nodiscard]] QFileDialog *openedChooser() const;
    // Types a name, when given one, and presses the dialog's Set button or Escape.
    static void answer(QFileDialog *panel, const QString &typedName, bool confirm);
    [[nodiscard]] QString inHome(QString text) const { return text.replace(QLatin1String("%1"), home->path()); }
    void renderToTheEnd();

    QTemporaryDir configHome;
    QString startDirectory;
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<MainWindowDefinition> mainWindow;
    QString argumentsFile;
};

void TestOutputFileChooser::initTestCase()
{
    // Qt's file dialog remembers its state in the user's configuration; keep it out of the real one.
    qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
    startDirectory = QDir::currentPath();
}

void TestOutputFileChooser::init()
{
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(home->path()).mkdir(QStringLiteral("sub")));
    QDir::setCurrent(home->path());
    qputenv("HOME", home->path().toUtf8());
    argumentsFile = home->filePath(QStringLiteral("arguments"));
    qputenv("FAKE_POVRAY_ARGS", argumentsFile.toUtf8());
    qputenv("FAKE_POVRAY_PID", home->filePath(QStringLiteral("pid")).toUtf8());
    QFile prefs(home->filePath(QStringLiteral(".mossworkprefs")));
    QVERIFY(prefs.open(QIODevice::WriteOnly));
    prefs.write("render_filename \"/x.pov\"\n");
    mainWindow = std::make_unique<MainWindowDefinition>(QStringLiteral(FAKE_POVRAY));
    mainWindow->window().show();
}

void TestOutputFileChooser::cleanup()
{
    mainWindow.reset();
    QDir::setCurrent(startDirectory);
    home.reset();
}

QFileDialog *TestOutputFileChooser::openedChooser() const
{
    auto *panel = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (!panel || panel->parentWidget() != &mainWindow->window() || panel->windowModality() != Qt::WindowModal)
        return nullptr;
    const auto *label = panel->findChild<QLabel *>(QStringLiteral("fileNameLabel"));
    return label && label->text() == QLatin1String("Output file") ? panel : nullptr;
}

void TestOutputFileChooser::answer(QFileDialog *panel, const QString &typedName, bool confirm)
{
    if (!typedName.isNull()) {
        auto *name = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        name->clear();
        QTest::keyClicks(name, typedName);
    }
    if (!confirm) {
        QTest::keyClick(panel, Qt::Key_Escape);
        return;
    }
    const QList<QAbstractButton *> buttons = panel->findChild<QDialogButtonBox *>()->buttons();
    const auto set = std::ranges::find(buttons, QStringLiteral("Set"), &QAbstractButton::text);
    QVERIFY(set != buttons.end());
    (*set)->click();
}

void TestOutputFileChooser::renderToTheEnd()
{
    setFakeScript({});
    mainWindow->controls().renderButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow->controller().isRendering(), 10000);
}

void TestOutputFileChooser::startsFromTheFieldAndWritesOnlyAConfirmedChoice_data()
{
    // %1 is the home folder, which is also the working directory. No directory expected: the dialog
    // chooses one.
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("result");
    QTest::newRow("confirm the proposal") << "%1/sub/old.png" << "%1/sub" << "old.png" << QString() << true << "%1/sub/old.png";
    QTest::newRow("a typed name gets the suffix") << "%1/sub/old.png" << "%1/sub" << "old.png" << "new" << true << "%1/sub/new.png";
    QTest::newRow("relative folder") << "sub/x" << "%1/sub" << "x" << QString() << true << "%1/sub/x.png";
    QTest::newRow("bare name") << "render.png" << QString() << "render.png" << QString() << true << "render.png";
    QTest::newRow("empty field") << "" << QString() << "" << "out" << true << "out.png";
    QTest::newRow("cancel after typing") << "%1/sub/old.png" << "%1/sub" << "old.png" << "other" << false << "%1/sub/old.png";
    QTest::newRow("cancel keeps odd text exactly") << "%1/sub/" << "%1" << "sub" << QString() << false << "%1/sub/";
    QTest::newRow("root folder") << "/x.png" << "/" << "x.png" << QString() << false << "/x.png";
}

void TestOutputFileChooser::startsFromTheFieldAndWritesOnlyAConfirmedChoice()
{
    QFETCH(QString, field);
    QFETCH(QString, directory);
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(bool, confirmed);
    QFETCH(QString, result);
    QLineEdit *outputFile = mainWindow->controls().outputFile;
    outputFile->setText(inHome(field));

    mainWindow->controls().setButton->click();
    const QPointer<QFileDialog> panel = openedChooser();
    QVERIFY(panel);
    const QString shownDirectory = panel->directory().absolutePath();
    if (!directory.isNull())
        QCOMPARE(shownDirectory, inHome(directory));
    QCOMPARE(panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text(), name);

    answer(panel, typed, confirmed);
    QTRY_VERIFY(panel.isNull());

    const QString expected = directory.isNull() ? QDir(shownDirectory).filePath(result) : inHome(result);
    QCOMPARE(outputFile->text(), expected);
    if (confirmed) {
        QVERIFY(QDir::isAbsolutePath(expected) && expected.size() > 3);
        renderToTheEnd();
        const QByteArrayList arguments = readArguments(argumentsFile);
        QVERIFY(arguments.contains("+O" + expected.toUtf8()));
        QVERIFY(arguments.contains("+FN"));
    }
}

void TestOutputFileChooser::worksWhileARenderRuns()
{
    Ui::MainWindow &controls = mainWindow->controls();
    controls.outputFile->setText(home->filePath(QStringLiteral("first.png")));
    setFakeScript("out:working;forever");
    controls.renderButton->click();
    QTRY_VERIFY(!controls.textView->text().isEmpty());
    const qint64 renderer = readPid(home->filePath(QStringLiteral("pid")));

    controls.actionSetOutputFile->trigger();
    const QPointer<QFileDialog> panel = openedChooser();
    QVERIFY(panel);
    // Clicks through the window system, where a modal dialog blocks them.
    QWindow *window = mainWindow->window().windowHandle();
    const QPoint renderButton = controls.renderButton->mapTo(&mainWindow->window(), controls.renderButton->rect().center());
    QTest::mouseClick(window, Qt::LeftButton, {}, renderButton);
    QVERIFY(mainWindow->controller().isRendering());
    answer(panel, QStringLiteral("second"), true);
    QTRY_VERIFY(panel.isNull());
    QCOMPARE(controls.outputFile->text(), home->filePath(QStringLiteral("second.png")));
    QVERIFY(processExists(renderer));

    QTest::mouseClick(window, Qt::LeftButton, {}, renderButton);
    QVERIFY(!mainWindow->controller().isRendering());
    renderToTheEnd();
    QVERIFY(readArguments(argumentsFile).contains("+O" + home->filePath(QStringLiteral("second.png")).toUtf8()));
}

QTEST_MAIN(TestOutputFileChooser)
#include "tst_outputfilechooser.moc"
