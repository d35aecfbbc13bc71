#include "MossworkPreferences.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

class TestMossworkPreferences : public QObject
{
    Q_OBJECT

private slots:
    void readsTheLastUsableRenderFilename_data();
    void readsTheLastUsableRenderFilename();
    void readsOnlyARegularFileAtHome();
};

void TestMossworkPreferences::readsTheLastUsableRenderFilename_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("scene"); // null when there is none
    auto row = [](const char *name, const QByteArray &content, const QByteArray &scene) { QTest::newRow(name) << content << scene; };
    row("value runs to the last quote, raw bytes", "render_filename \"a\"b\xE8\"\n", "a\"b\xE8");
    row("later line wins, CR LF ends", "other = 1\r\nrender_filename \"/a.pov\"\r\nrender_filename = \"/Users/me/b.pov\"\r\n", "/Users/me/b.pov");
    row("unusable lines do not undo", "render_filename \"/a.pov\"\nrender_filename \"\"\nrender_filename \"/x\n", "/a.pov");
    row("one byte between the quotes", "render_filename \"/a.pov\"\nrender_filename \"x\"\n", "x");
    row("key is a prefix test, no line end", "render_filenames\"/x.pov\"", "/x.pov");
    row("NUL ends a line", QByteArray("render_filename \"/x") + '\0' + ".pov\"\nrender_filename \"/y.pov\"" + '\0' + "\"tail\"\n", "/y.pov");
    row("last byte is the opening quote", "render_filename \"", {});
    row("leading blank, wrong case", " render_filename \"/x.pov\"\nRender_filename \"/y.pov\"\n", {});
    row("empty", "", {});
    row("100 MB of NULs, then the line", QByteArray(qsizetype{100} << 20, '\0') + "\nrender_filename \"/x.pov\"\n", "/x.pov");
    row("a line of 1 MB is read whole", "render_filename \"" + QByteArray(qsizetype{1} << 20, 'd') + "\"\n", QByteArray(qsizetype{1} << 20, 'd'));
}

void TestMossworkPreferences::readsTheLastUsableRenderFilename()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, scene);
    const QTemporaryDir scratch;
    // Not UTF-8, so that neither HOME nor the path may pass through decoded text. QTemporaryDir could
    // not remove what it cannot name.
    const std::filesystem::path home = std::filesystem::path(scratch.path().toStdString()) / "h\xF6me";
    std::filesystem::create_directory(home);
    const auto removeHome = qScopeGuard([&] { std::filesystem::remove_all(home); });
    std::ofstream(home / ".mossworkprefs", std::ios::binary).write(content.constData(), content.size());
    qputenv("HOME", home.c_str());
    QCOMPARE(MossworkPreferences::readRenderFilename(MossworkPreferences::preferencesPath()).value_or(QByteArray()), scene);
}

void TestMossworkPreferences::readsOnlyARegularFileAtHome()
{
    // A FIFO with no writer would hold a blocking open or read for ever.
    const QTemporaryDir scratch;
    const QByteArray fifo = QFile::encodeName(scratch.filePath(QStringLiteral("fifo")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    for (const QByteArray &path : {fifo, QByteArray("/tmp"), QByteArray("/dev/zero"), QByteArray("/nonexistent/.mossworkprefs")})
        QVERIFY2(!MossworkPreferences::readRenderFilename(path), path.constData());
    // Without HOME, the user's home folder.
    const QByteArray expected = QByteArray(::getpwuid(::getuid())->pw_dir) + "/.mossworkprefs";
    qputenv("HOME", "");
    QCOMPARE(MossworkPreferences::preferencesPath(), expected);
    qunsetenv("HOME");
    QCOMPARE(MossworkPreferences::preferencesPath(), expected);
}

QTEST_GUILESS_MAIN(TestMossworkPreferences)
#include "tst_mossworkpreferences.moc"
