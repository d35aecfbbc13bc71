#include "platform/desktop/RenderNotice.h"
#include "platform/desktop/RenderedImage.h"
#include "platform/desktop/TaskbarProgress.h"
#include "platform/startup/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <fstream>

// The desktop's notification service as the tests arrange it: what it can do, and what it was asked.
class Notifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList capabilities;
    QVariantList notices; // each Notify's arguments
    uint nextId = 7;

public slots:
    [[nodiscard]] QStringList GetCapabilities() const { return capabilities; }
    uint Notify(const QString &app, uint replacesId, const QString &icon, const QString &summary, const QString &body,
        const QStringList &actions, const QVariantMap & /*hints*/, int /*timeout*/)
    {
        notices << QVariant(QVariantList{app, replacesId, icon, summary, body, actions});
        return nextId++;
    }
};

class FileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;

public slots:
    void ShowItems(const QStringList &uris, const QString & /*startupId*/) { shown << uris; }
};

// Kilnlight on a private session bus, whose stand-in services and launcher entry listener share a
// connection of their own, as another program's would.
class TestDesktop : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { opened << url; }
    void launcherUpdate(const QString &uri, const QVariantMap &properties)
    {
        updates << QStringLiteral("%1 %2 %3").arg(uri, properties.value(QStringLiteral("progress")).toString(),
                                                   properties.value(QStringLiteral("progress-visible")).toString());
    }

private slots:
    void initTestCase();
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void init();
    void taskbarShowsEachPercentOnce();
    void noticeTellsHowARenderEnded_data();
    void noticeTellsHowARenderEnded();
    void noticeReplacesItsLastAndAnswersOnlyItsOwnActions();
    void fileMenuHandsTheImageToTheDesktop_data();
    void fileMenuHandsTheImageToTheDesktop();
    void withoutASessionBusNothingIsSent();

private:
    // Sends what the notification service sends when a notice's action is clicked.
    void invoke(QDBusConnection &from, uint id, const QString &action) const;

    QDBusConnection services = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-ins"));
    Notifications notifications;
    FileManager fileManager;
    QTemporaryDir home{QStringLiteral("/tmp/kilnlight-test-XXXXXX")};
    QStringList updates;
    QList<QUrl> opened;
};

void TestDesktop::initTestCase()
{
    QVERIFY(services.isConnected());
    QVERIFY(services.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications, QDBusConnection::ExportAllSlots));
    QVERIFY(services.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager, QDBusConnection::ExportAllSlots));
    QVERIFY(services.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"), this,
        SLOT(launcherUpdate(QString, QVariantMap))));
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
    QVERIFY(QDir::setCurrent(home.path()));
    qputenv("HOME", home.path().toUtf8());
    std::ofstream(".mossworkprefs") << "render_filename \"/tmp/a<b&c>.pov\"\n";
}

void TestDesktop::init()
{
    services.registerService(QStringLiteral("org.freedesktop.Notifications"));
    services.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    notifications.notices.clear();
    notifications.nextId = 7;
    fileManager.shown.clear();
    updates.clear();
    opened.clear();
}

void TestDesktop::invoke(QDBusConnection &from, uint id, const QString &action) const
{
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
    from.send(signal << id << action);
}

void TestDesktop::taskbarShowsEachPercentOnce()
{
    {
        TaskbarProgress taskbar;
        for (const double fraction : {0.0, 0.004, 0.011, 0.019, -1.0, std::nan(""), 0.5, 0.999, 7.0, 1.0})
            taskbar.setProgress(fraction);
        taskbar.clear();
        taskbar.clear();
        taskbar.setProgress(0.25); // and quit while it shows
    }
    const QString entry = QStringLiteral("application://kilnlight.desktop ");
    QTRY_COMPARE(updates, (QStringList{entry + "0 true", entry + "0.01 true", entry + "0 true", entry + "0.5 true", entry + "0.99 true",
                              entry + "1 true", entry + "0 false", entry + "0.25 true", entry + "0 false"}));
}

void TestDesktop::noticeTellsHowARenderEnded_data()
{
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<RenderOutcome>("outcome");
    QTest::addColumn<bool>("active");
    QTest::addColumn<QVariantList>("shown"); // summary, body, actions; none when nothing may show

    const QStringList offered{QStringLiteral("default"), QStringLiteral("Show Kilnlight")};
    QTest::newRow("markup escaped, actions offered") << QStringList{"body", "body-markup", "actions"} << RenderOutcome::Finished << false
                                                    << QVariantList{"Render finished", "a&lt;b&amp;c&gt;.pov", offered};
    QTest::newRow("plain text as written, no actions") << QStringList{"body"} << RenderOutcome::Failed << false
                                                      << QVariantList{"Render failed", "a<b&c>.pov", QStringList()};
    QTest::newRow("ended without saying how") << QStringList{"actions"} << RenderOutcome::Ended << false
                                              << QVariantList{"Render ended", "a<b&c>.pov", offered};
    QTest::newRow("stopped by the user") << QStringList{"actions"} << RenderOutcome::Stopped << false << QVariantList();
    QTest::newRow("window active") << QStringList{"actions"} << RenderOutcome::Finished << true << QVariantList();
    QTest::newRow("no notification service") << QStringList{"unregistered"} << RenderOutcome::Finished << false << QVariantList();
}

void TestDesktop::noticeTellsHowARenderEnded()
{
    QFETCH(QStringList, capabilities);
    QFETCH(RenderOutcome, outcome);
    QFETCH(bool, active);
    QFETCH(QVariantList, shown);
    notifications.capabilities = capabilities;
    if (capabilities.contains(QLatin1String("unregistered")))
        services.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QWidget window;
    if (active) {
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    const RenderedImage image;
    RenderNotice notice(image);
    notice.renderEnded(&window, QStringLiteral("/tmp/a<b&c>.pov"), outcome);
    if (shown.isEmpty()) {
        QTest::qWait(300);
        QCOMPARE(notifications.notices, QVariantList());
    } else {
        QTRY_COMPARE(notifications.notices.size(), 1);
        QCOMPARE(notifications.notices.constFirst(), QVariant(QVariantList{"Kilnlight", 0U, "kilnlight"} + shown));
    }
}

void TestDesktop::noticeReplacesItsLastAndAnswersOnlyItsOwnActions()
{
    notifications.capabilities = QStringList{"actions"};
    RenderedImage image;
    image.renderStarted({"povray", "+Oshot", "+FN", "\"scene.pov\""});
    QFile(image.path()).open(QIODevice::WriteOnly);
    QWidget window;
    RenderNotice notice(image);
    notice.renderEnded(&window, QStringLiteral("scene.pov"), RenderOutcome::Finished);
    QTRY_COMPARE(notifications.notices.size(), 1);
    QCOMPARE(notifications.notices.constFirst().toList().at(5).toStringList(),
        (QStringList{"default", "Show Kilnlight", "open-image", "Open Rendered Image"}));
    notice.renderEnded(&window, QStringLiteral("scene.pov"), RenderOutcome::Finished);
    QTRY_COMPARE(notifications.notices.size(), 2);
    QCOMPARE(notifications.notices.constLast().toList().at(1), QVariant(7U));

    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
    invoke(other, 8, QStringLiteral("default")); // the same id from another sender
    other.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")); // it reached the bus first
    invoke(services, 7, QStringLiteral("default")); // the replaced one
    invoke(services, 8, QStringLiteral("open-image"));
    QTRY_COMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(home.filePath(QStringLiteral("shot.png")))});
    QVERIFY(!window.isVisible());
    invoke(services, 8, QStringLiteral("default"));
    QTRY_VERIFY(window.isVisible());
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
}

void TestDesktop::fileMenuHandsTheImageToTheDesktop_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("written"); // by the renderer, in the working directory
    QTest::addColumn<bool>("fileManagerRuns");

    QTest::newRow("no file asked for (-F)") << "png" << "png.png" << true;
    QTest::newRow("asked for, not written") << "frame" << "" << true;
    QTest::newRow("POV-Ray's extension, file manager shows it") << "sub dir/a#1%.jpg" << "sub dir/a#1%.jpg.png" << true;
    QTest::newRow("into a folder, no file manager") << QString(home.filePath("sub dir/")) << "sub dir/a<b&c>.png" << false;
}

void TestDesktop::fileMenuHandsTheImageToTheDesktop()
{
    QFETCH(QString, output);
    QFETCH(QString, written);
    QFETCH(bool, fileManagerRuns);
    if (fileManagerRuns)
        services.registerService(QStringLiteral("org.freedesktop.FileManager1"));
    QDir().mkpath(QStringLiteral("sub dir"));
    const QString image = home.filePath(written);
    MainWindowDefinition window(QStringLiteral("/nonexistent/povray"));
    Ui::MainWindow &controls = window.controls();
    controls.outputFile->setText(output);
    controls.renderButton->click();
    if (!written.isEmpty())
        QVERIFY(QFile(image).open(QIODevice::WriteOnly));
    emit controls.fileMenu->aboutToShow();
    const bool enabled = !written.isEmpty() && output.size() > 3;
    QCOMPARE(controls.actionOpenRenderedImage->isEnabled(), enabled);
    QCOMPARE(controls.actionShowInFolder->isEnabled(), enabled);
    QFile::remove(image);
    if (!enabled)
        return;
    controls.actionOpenRenderedImage->trigger();
    controls.actionShowInFolder->trigger();
    const QUrl file = QUrl::fromLocalFile(image);
    const QList<QUrl> openedByFallback{file, QUrl::fromLocalFile(home.filePath(QStringLiteral("sub dir")))};
    QTRY_COMPARE(opened, fileManagerRuns ? QList<QUrl>{file} : openedByFallback);
    QTRY_COMPARE(fileManager.shown, fileManagerRuns ? QStringList{file.toString(QUrl::FullyEncoded)} : QStringList());
}

void TestDesktop::withoutASessionBusNothingIsSent()
{
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8()); // with no bus socket in it
    notifications.capabilities = QStringList{"actions"};
    RenderedImage image;
    image.renderStarted({"povray", "+O/tmp/x.png"});
    QWidget window;
    RenderNotice(image).renderEnded(&window, QStringLiteral("scene.pov"), RenderOutcome::Finished);
    TaskbarProgress().setProgress(0.5);
    image.showInFolder(); // straight to the folder
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp"))});
    QTest::qWait(300);
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QCOMPARE(notifications.notices, QVariantList());
    QCOMPARE(updates, QStringList());
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
