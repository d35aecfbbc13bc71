#include "TestSupport.h"
#include "platform/LogView.h"
#include "platform/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

// Renders a real scene with Debian's POV-Ray, through the window as a user would.
class TestRealRenderer : public QObject
{
    Q_OBJECT

private slots:
    void rendersThePngThatTheWindowAsksFor();
};

void TestRealRenderer::rendersThePngThatTheWindowAsksFor()
{
    if (QByteArray(POVRAY_EXECUTABLE).isEmpty() || QByteArray(POVRAY_EXECUTABLE).endsWith("NOTFOUND"))
        QSKIP("povray is not installed");
    // Debian's POV-Ray reads and writes only below /tmp here; Display=Off keeps +P from waiting for a key.
    QTemporaryDir home(QStringLiteral("/tmp/kilnlight-test-XXXXXX"));
    QVERIFY(QFile::copy(QStringLiteral(DEMO_SCENE), home.filePath(QStringLiteral("demo.pov"))));
    QFile ini(home.filePath(QStringLiteral("povray.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("Display=Off\n");
    ini.close();
    QFile prefs(home.filePath(QStringLiteral(".mossworkprefs")));
    QVERIFY(prefs.open(QIODevice::WriteOnly));
    prefs.write("render_filename \"" + home.filePath(QStringLiteral("demo.pov")).toUtf8() + "\"\n");
    prefs.close();
    qputenv("HOME", home.path().toUtf8());
    qputenv("POVINI", ini.fileName().toUtf8());

    MainWindowDefinition mainWindow(QStringLiteral(POVRAY_EXECUTABLE));
    Ui::MainWindow &controls = mainWindow.controls();
    const QString image = home.filePath(QStringLiteral("out.png"));
    controls.outputFile->setText(image);
    controls.width->setText(QStringLiteral("64"));
    controls.height->setText(QStringLiteral("48"));
    controls.renderButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow.controller().isRendering(), 120000);
    QVERIFY2(controls.textView->text().contains(QLatin1String("POV-Ray finished")), qPrintable(controls.textView->text()));

    QFile png(image);
    QVERIFY(png.open(QIODevice::ReadOnly));
    const QByteArray header = png.read(24);
    QCOMPARE(header.first(8), QByteArray("\x89PNG\r\n\x1A\n"));
    QCOMPARE(header.sliced(12, 4), QByteArray("IHDR"));
    QCOMPARE(qFromBigEndian<quint32>(header.constData() + 16), 64U);
    QCOMPARE(qFromBigEndian<quint32>(header.constData() + 20), 48U);
}

QTEST_MAIN(TestRealRenderer)
#include "tst_realrenderer.moc"
