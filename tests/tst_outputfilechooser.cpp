#include "TestSupport.h"
#include "platform/startup/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

// The chooser is opened, while a render runs, from the output field's text; what is typed and how
// the dialog is left decide what the field holds afterwards. %1 stands for the home folder, which
// is also the working directory; a null directory is the dialog's own choice.
class TestOutputFileChooser : public QObject
{
    Q_OBJECT

private slots:
    void startsFromTheFieldAndWritesOnlyAConfirmedPng_data();
    void startsFromTheFieldAndWritesOnlyAConfirmedPng();
};

void TestOutputFileChooser::startsFromTheFieldAndWritesOnlyAConfirmedPng_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("result");
    QTest::newRow("confirm the proposal") << "%1/sub/old.png" << "%1/sub" << "old.png" << QString() << true << "%1/sub/old.png";
    QTest::newRow("typed name without a suffix") << "%1/sub/old.png" << "%1/sub" << "old.png" << "new" << true << "%1/sub/new.png";
    QTest::newRow("typed name with another suffix") << "%1/sub/old.png" << "%1/sub" << "old.png" << "shot.jpg" << true << "%1/sub/shot.jpg.png";
    QTest::newRow("typed suffix in capitals") << "%1/sub/old.png" << "%1/sub" << "old.png" << "Big.PNG" << true << "%1/sub/Big.PNG";
    QTest::newRow("relative folder") << "sub/x" << "%1/sub" << "x" << QString() << true << "%1/sub/x.png";
    QTest::newRow("bare name") << "render.png" << QString() << "render.png" << QString() << true << "render.png";
    QTest::newRow("empty field") << "" << QString() << "" << "out" << true << "out.png";
    QTest::newRow("cancel after typing") << "%1/sub/old.png" << "%1/sub" << "old.png" << "other" << false << "%1/sub/old.png";
    QTest::newRow("cancel keeps odd text exactly") << "%1/sub/" << "%1" << "sub" << QString() << false << "%1/sub/";
    QTest::newRow("root folder") << "/x.png" << "/" << "x.png" << QString() << false << "/x.png";
}

void TestOutputFileChooser::startsFromTheFieldAndWritesOnlyAConfirmedPng()
{
    QFETCH(QString, field);
    QFETCH(QString, directory);
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(bool, confirmed);
    QFETCH(QString, result);
    // Qt's file dialog remembers its state in the user's configuration; keep it out of the real one.
    const QTemporaryDir home;
    const auto inHome = [&](QString text) { return text.replace(QLatin1String("%1"), home.path()); };
    QVERIFY(QDir(home.path()).mkdir(QStringLiteral("sub")));
    QDir::setCurrent(home.path());
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    QFile prefs(home.filePath(QStringLiteral(".mossworkprefs")));
    QVERIFY(prefs.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && prefs.write("render_filename \"/x.pov\"\n") > 0);
    setFakeScript("forever");
    const MainWindowDefinition mainWindow(QStringLiteral(FAKE_POVRAY));
    mainWindow.window().show();
    Ui::MainWindow &controls = mainWindow.controls();
    controls.renderButton->click();
    QVERIFY(mainWindow.controller().isRendering());
    controls.outputFile->setText(inHome(field));

    controls.setButton->click();
    // A labelled dialog, modal for the main window only.
    const QPointer<QFileDialog> panel = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    QVERIFY(panel && panel->parentWidget() == &mainWindow.window() && panel->windowModality() == Qt::WindowModal);
    QCOMPARE(panel->labelText(QFileDialog::FileName), QStringLiteral("Output file"));
    const QString shownDirectory = panel->directory().absolutePath();
    if (!directory.isNull())
        QCOMPARE(shownDirectory, inHome(directory));
    auto *nameField = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QCOMPARE(nameField->text(), name);
    nameField->clear();
    QTest::keyClicks(nameField, typed.isNull() ? name : typed);
    // Qt names the button after what a folder name would do, whatever its label otherwise.
    QVERIFY(!confirmed || panel->labelText(QFileDialog::Accept) == QLatin1String("Set"));
    QTest::keyClick(nameField, confirmed ? Qt::Key_Return : Qt::Key_Escape);
    QTRY_VERIFY(panel.isNull());
    QCOMPARE(controls.outputFile->text(), directory.isNull() ? QDir(shownDirectory).filePath(result) : inHome(result));
    QVERIFY(mainWindow.controller().isRendering());
}

QTEST_MAIN(TestOutputFileChooser)
#include "tst_outputfilechooser.moc"
