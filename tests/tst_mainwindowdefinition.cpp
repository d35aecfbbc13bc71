#include "platform/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QMessageBox>
#include <QTest>
#include <QTimer>

class TestMainWindowDefinition : public QObject
{
    Q_OBJECT

private slots:
    void windowShowsTheIconAtMenuSize();
    void aboutNamesTheVersionAndTheRenderer();
};

void TestMainWindowDefinition::windowShowsTheIconAtMenuSize()
{
    // A null pixmap here means the icon resource was not linked in or the SVG plugin is missing.
    const MainWindowDefinition mainWindow(QStringLiteral("/usr/bin/povray"));
    QVERIFY(!mainWindow.window().windowIcon().pixmap(16).isNull());
}

void TestMainWindowDefinition::aboutNamesTheVersionAndTheRenderer()
{
    const QString renderer = QStringLiteral("/opt/povray-3.7/bin/povray");
    const MainWindowDefinition mainWindow(renderer);
    QString title;
    QString text;
    QTimer::singleShot(0, this, [&] {
        auto *about = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(about != nullptr);
        title = about->windowTitle();
        text = about->text();
        about->accept();
    });
    mainWindow.controls().actionAbout->trigger();

    QCOMPARE(title, QStringLiteral("About Kilnlight"));
    QVERIFY2(text.contains(QStringLiteral("Kilnlight " KILNLIGHT_VERSION)), qPrintable(text));
    QVERIFY2(text.contains(renderer), qPrintable(text));
}

QTEST_MAIN(TestMainWindowDefinition)
#include "tst_mainwindowdefinition.moc"
