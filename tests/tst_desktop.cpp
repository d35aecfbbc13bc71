#include "platform/desktop/RenderNotice.h"
#include "platform/desktop/RenderedImage.h"
#include "platform/desktop/SessionBus.h"
#include "platform/desktop/TaskbarProgress.h"
#include "platform/startup/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <fstream>

// The desktop on a private session bus: its notification service, file manager and task bar are
// stand-ins on a connection of their own, the image viewer a URL handler. All record into calls.
class TestDesktop : public QObject
{
    Q_OBJECT

public slots:
    [[nodiscard]] QStringList GetCapabilities() const { return capabilities; }
    uint Notify(const QString &app, uint replacesId, const QString &icon, const QString &summary, const QString &body,
        const QStringList &actions, const QVariantMap & /*hints*/, int /*timeout*/)
    {
        calls << QVariant(QVariantList{app, replacesId, icon, summary, body, actions});
        return static_cast<uint>(7 + calls.size());
    }
    void ShowItems(const QStringList &uris, const QString & /*startupId*/) { calls << uris; }
    void launcherUpdate(const QString &uri, const QVariantMap &entry) { calls << QVariant(QVariantList{uri, entry["progress"], entry["progress-visible"]}); }
    void openUrl(const QUrl &url) { calls << url; }

private slots:
    void initTestCase();
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void init()
    {
        arrange(QStringLiteral("services"));
        calls.clear();
    }
    void taskbarShowsEachPercentOnce();
    void noticeTellsHowARenderEnded_data();
    void noticeTellsHowARenderEnded();
    void noticeReplacesItsLastAndAnswersOnlyItsOwnActions();
    void fileMenuHandsTheImageToTheDesktop_data();
    void fileMenuHandsTheImageToTheDesktop();
    void renderInTheWindowShowsOnTheDesktop_data();
    void renderInTheWindowShowsOnTheDesktop();

private:
    // What runs: "services" (all), "no notifications", "no file manager", "no bus".
    void arrange(const QString &desktop);

    QDBusConnection services = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-ins"));
    QByteArray busAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    QTemporaryDir home{QStringLiteral("/tmp/kilnlight-test-XXXXXX")};
    QVariantList calls;
    QStringList capabilities;
};

void TestDesktop::initTestCase()
{
    const auto exportAt = [this](const char *path, const char *interface) {
        return services.registerObject(QLatin1String(path), QLatin1String(interface), this, QDBusConnection::ExportAllSlots);
    };
    QVERIFY(exportAt("/org/freedesktop/Notifications", "org.freedesktop.Notifications") && exportAt("/org/freedesktop/FileManager1", "org.freedesktop.FileManager1"));
    QVERIFY(services.connect({}, {}, QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"), this, SLOT(launcherUpdate(QString, QVariantMap))));
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
    QVERIFY(QDir::setCurrent(home.path()) && QDir().mkpath(QStringLiteral("sub dir")));
    qputenv("HOME", home.path().toUtf8());
    std::ofstream(".mossworkprefs") << "render_filename \"/tmp/a<b&c>.pov\"\n";
}

void TestDesktop::arrange(const QString &desktop)
{
    const auto run = [this](const char *service, bool runs) {
        runs ? services.registerService(QLatin1String(service)) : services.unregisterService(QLatin1String(service));
    };
    run("org.freedesktop.Notifications", desktop != QLatin1String("no notifications"));
    run("org.freedesktop.FileManager1", desktop != QLatin1String("no file manager"));
    qputenv("DBUS_SESSION_BUS_ADDRESS", desktop == QLatin1String("no bus") ? QByteArray() : busAddress);
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8()); // with no bus socket in it
    SessionBus::keepAnyFromStarting(); // as start-up does; it must leave a real address alone
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
    QVariantList expected;
    for (const auto &[progress, visible] : {std::pair{0.0, true}, {0.01, true}, {0.0, true}, {0.5, true}, {0.99, true}, {1.0, true}, {0.0, false}, {0.25, true}, {0.0, false}})
        expected << QVariant(QVariantList{"application://kilnlight.desktop", progress, visible});
    QTRY_COMPARE(calls, expected);
}

void TestDesktop::noticeTellsHowARenderEnded_data()
{
    QTest::addColumn<QString>("desktop");
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<RenderOutcome>("outcome");
    QTest::addColumn<QVariantList>("shown"); // summary, body, actions; none when nothing may show

    const QStringList offered{"default", "Show Kilnlight"};
    QTest::newRow("markup escaped, actions") << "services" << QStringList{"body-markup", "actions"} << RenderOutcome::Finished
                                             << QVariantList{"Render finished", "a&lt;b&amp;c&gt;.pov", offered};
    QTest::newRow("plain text") << "services" << QStringList{"body"} << RenderOutcome::Failed << QVariantList{"Render failed", "a<b&c>.pov", QStringList()};
    QTest::newRow("ended") << "services" << QStringList{"actions"} << RenderOutcome::Ended << QVariantList{"Render ended", "a<b&c>.pov", offered};
    QTest::newRow("stopped") << "services" << QStringList() << RenderOutcome::Stopped << QVariantList();
    QTest::newRow("window active") << "active" << QStringList() << RenderOutcome::Finished << QVariantList();
    QTest::newRow("no notification service") << "no notifications" << QStringList() << RenderOutcome::Finished << QVariantList();
    QTest::newRow("no session bus") << "no bus" << QStringList() << RenderOutcome::Finished << QVariantList();
}

void TestDesktop::noticeTellsHowARenderEnded()
{
    QFETCH(QString, desktop);
    QFETCH(RenderOutcome, outcome);
    QFETCH(QVariantList, shown);
    arrange(desktop);
    QFETCH(QStringList, capabilities);
    this->capabilities = capabilities;
    QWidget window;
    if (desktop == QLatin1String("active")) {
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    const RenderedImage image;
    RenderNotice notice(image);
    notice.renderEnded(&window, QStringLiteral("/tmp/a<b&c>.pov"), outcome);
    if (shown.isEmpty())
        QTest::qWait(300); // time enough for a call to arrive
    QTRY_COMPARE(calls.size(), shown.isEmpty() ? 0 : 1);
    QCOMPARE(calls, (shown.isEmpty() ? QVariantList() : QVariantList{QVariantList{"Kilnlight", 0U, "kilnlight"} + shown}));
}

void TestDesktop::noticeReplacesItsLastAndAnswersOnlyItsOwnActions()
{
    capabilities = QStringList{"actions"};
    RenderedImage image;
    image.renderStarted({"povray", "+Oshot", "+FN", "\"scene.pov\""});
    QFile(image.path()).open(QIODevice::WriteOnly);
    QWidget window;
    RenderNotice notice(image);
    for (qsizetype shown = 1; shown <= 2; ++shown) {
        notice.renderEnded(&window, QStringLiteral("scene.pov"), RenderOutcome::Finished);
        QTRY_COMPARE(calls.size(), shown);
    }
    const QVariantList second = calls.constLast().toList();
    QCOMPARE(second.mid(1, 1) + second.mid(5), (QVariantList{8U, QStringList{"default", "Show Kilnlight", "open-image", "Open Rendered Image"}}));

    const auto invoke = [](const char *sender, uint id, const char *action) {
        QDBusConnection from = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QLatin1String(sender));
        from.send(QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.Notifications"),
                      QStringLiteral("ActionInvoked"))
            << id << QString::fromLatin1(action));
        from.interface()->isServiceRegistered(QStringLiteral("x")); // the signal has reached the bus
    };
    invoke("other", 9, "default"); // the notice's id, from another program
    invoke("stand-ins", 8, "default"); // the notice it replaced
    invoke("stand-ins", 9, "open-image");
    QTRY_COMPARE(calls.constLast(), QVariant(QUrl::fromLocalFile(home.filePath(QStringLiteral("shot.png")))));
    QVERIFY(!window.isVisible());
    invoke("stand-ins", 9, "default");
    QTRY_VERIFY(window.isVisible());
}

void TestDesktop::fileMenuHandsTheImageToTheDesktop_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("written"); // by the renderer, in the working directory
    QTest::addColumn<QString>("desktop");

    QTest::newRow("no file asked for (-F)") << "png" << "png.png" << "services";
    QTest::newRow("asked for, not written") << "frame" << "" << "services";
    QTest::newRow("POV-Ray's extension; ShowItems") << "sub dir/a#1%.jpg" << "sub dir/a#1%.jpg.png" << "services";
    QTest::newRow("into a folder; no file manager") << home.filePath("sub dir/") << "sub dir/a<b&c>.png" << "no file manager";
    QTest::newRow("no session bus") << "sub dir/x." << "sub dir/x.png" << "no bus";
}

void TestDesktop::fileMenuHandsTheImageToTheDesktop()
{
    QFETCH(QString, output);
    QFETCH(QString, written);
    QFETCH(QString, desktop);
    arrange(desktop);
    const QUrl image = QUrl::fromLocalFile(home.filePath(written));
    MainWindowDefinition window(QStringLiteral("/nonexistent/povray"));
    Ui::MainWindow &controls = window.controls();
    controls.outputFile->setText(output);
    controls.renderButton->click();
    // A launch that failed while the window was not active has its notice.
    QTRY_COMPARE(calls.size(), desktop == QLatin1String("no bus") ? 0 : 1);
    calls.clear();
    QVERIFY(written.isEmpty() || QFile(image.toLocalFile()).open(QIODevice::WriteOnly));
    emit controls.fileMenu->aboutToShow();
    const bool enabled = !written.isEmpty() && output.size() > 3;
    QCOMPARE(QList<bool>() << controls.actionOpenRenderedImage->isEnabled() << controls.actionShowInFolder->isEnabled(), QList<bool>(2, enabled));
    QFile::remove(image.toLocalFile());
    if (!enabled)
        return;
    controls.actionOpenRenderedImage->trigger();
    controls.actionShowInFolder->trigger();
    const QVariant shown = desktop == QLatin1String("services") ? QVariant(QStringList{image.toString(QUrl::FullyEncoded)})
                                                                 : QVariant(QUrl::fromLocalFile(home.filePath(QStringLiteral("sub dir"))));
    QTRY_COMPARE(calls, (QVariantList{image, shown}));
}

// A render through the window, its window not active: the task bar follows its percentage and is
// cleared at the pause or the end, and one notice names the scene as written.
void TestDesktop::renderInTheWindowShowsOnTheDesktop_data()
{
    QTest::addColumn<QString>("renderer");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("stopAfter"); // calls seen; 0 lets it end by itself
    QTest::addColumn<QString>("notice");
    QTest::newRow("paused, then stopped") << FAKE_POVRAY
        << QByteArray("out:==== [Rendering...] ===\\nRendered 38400 of 76800 pixels (50%)\\n;sleep:300;out:==== [Paused] ===\\nPress a key;forever")
        << 3 << "Render finished";
    QTest::newRow("stopped") << FAKE_POVRAY << QByteArray("out:==== [Rendering...] ===\\nRendered 76800 of 76800 pixels (100%)\\n;forever") << 1 << "";
    QTest::newRow("POV-Ray") << POVRAY_EXECUTABLE << QByteArray() << 0 << "Render finished";
}

void TestDesktop::renderInTheWindowShowsOnTheDesktop()
{
    QFETCH(QString, renderer);
    QFETCH(QByteArray, script);
    QFETCH(int, stopAfter);
    QFETCH(QString, notice);
    capabilities = QStringList{"body-markup"};
    QVERIFY(QFile::copy(QStringLiteral(DEMO_SCENE), home.filePath("d<&>.pov")));
    std::ofstream(".mossworkprefs") << "render_filename \"" << home.filePath("d<&>.pov").toStdString() << "\"\n";
    std::ofstream("povray.ini") << "Display=Off\n";
    qputenv("POVINI", home.filePath("povray.ini").toUtf8());
    qputenv("FAKE_POVRAY_SCRIPT", script);
    {
        MainWindowDefinition window(renderer);
        window.controls().width->setText(QStringLiteral("64"));
        window.controls().height->setText(QStringLiteral("48"));
        window.controls().renderButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(stopAfter > 0 ? calls.size() >= stopAfter : !window.controller().isRendering(), 60000);
        if (window.controller().isRendering())
            window.controls().renderButton->click();
        QTest::qWait(300); // time enough for a notice to arrive
    }
    std::ofstream(".mossworkprefs") << "render_filename \"/tmp/a<b&c>.pov\"\n";
    QFile::remove(home.filePath("d<&>.pov"));
    const QVariant cleared = QVariantList{"application://kilnlight.desktop", 0.0, false};
    const QVariantList notices = notice.isEmpty() ? QVariantList() : QVariantList{QVariantList{"Kilnlight", 0U, "kilnlight", notice, "d&lt;&amp;&gt;.pov", QStringList()}};
    QCOMPARE(calls.mid(calls.indexOf(cleared)), QVariantList{cleared} + notices);
    QVERIFY(calls.first() != cleared && calls.count(cleared) == 1);
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
