#include "TestSupport.h"
#include "platform/LogView.h"
#include "platform/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Preferences { Written, Missing, Directory, Fifo, Unreadable, HundredMegabytes, InHomeNotUtf8 };
enum class Renderer { Fake, Missing, NotExecutable, Directory, MissingInterpreter };


QByteArrayList renderOptions(const QByteArray &scene = "/x.pov", const QByteArray &width = "640", const QByteArray &output = {})
{
    QByteArrayList options = output.isEmpty() ? QByteArrayList{"-F"} : QByteArrayList{"+O" + output, "+FN"};
    return options << "+P" << "+W" + width << "+H480" << '"' + scene + '"';
}

bool writeFile(const QByteArray &path, const QByteArray &content, mode_t mode = 0644)
{
    const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    const bool written = file >= 0 && ::write(file, content.constData(), static_cast<size_t>(content.size())) == content.size();
    return ::close(file) == 0 && written;
}

} // namespace

Q_DECLARE_METATYPE(Preferences)
Q_DECLARE_METATYPE(Renderer)

// Every row is one bad input handed to the real window, and what the user must see: one of the two
// fixed messages, the renderer's own output, or a render whose arguments are the fields' texts as
// they stand, each one argument, never through a shell.
class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void eachBadInputHasItsOutcome_data();
    void eachBadInputHasItsOutcome();
};

void TestBadInput::eachBadInputHasItsOutcome_data()
{
    QTest::addColumn<Preferences>("preferences");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Renderer>("renderer");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QByteArrayList>("options"); // empty when the renderer must not have run

    const QByteArray usable("render_filename \"/x.pov\"\n");
    const QString noPreferences = QString::fromLatin1(KilnlightController::noPreferencesMessage);
    const QString launchFailed = QString::fromLatin1(KilnlightController::launchFailedMessage);
    auto preferencesRow = [&](const char *name, Preferences kind, const QByteArray &content, const QString &log,
                              const QByteArrayList &options) {
        QTest::newRow(name) << kind << content << Renderer::Fake << QByteArray() << QStringLiteral("640") << QString() << log << options;
    };
    auto rendererRow = [&](const char *name, Renderer renderer, const QByteArray &script, const QString &log,
                           const QByteArrayList &options) {
        QTest::newRow(name) << Preferences::Written << usable << renderer << script << QStringLiteral("640") << QString() << log << options;
    };
    auto fieldsRow = [&](const char *name, const QString &width, const QString &output) {
        QTest::newRow(name) << Preferences::Written << usable << Renderer::Fake << QByteArray() << width << output << QString()
                  << renderOptions("/x.pov", width.toUtf8(), output.toUtf8());
    };

    preferencesRow("preferences missing", Preferences::Missing, {}, noPreferences, {});
    preferencesRow("preferences empty", Preferences::Written, {}, noPreferences, {});
    preferencesRow("preferences a directory", Preferences::Directory, {}, noPreferences, {});
    preferencesRow("preferences a FIFO", Preferences::Fifo, usable, noPreferences, {});
    preferencesRow("preferences mode 000", Preferences::Unreadable, usable, noPreferences, {});
    preferencesRow("preferences of 100 MB, NULs then the line", Preferences::HundredMegabytes, usable, QString(), renderOptions());
    // One argument may hold 128 KiB at most, so the system refuses to start the renderer.
    preferencesRow("preferences of one 1 MB line", Preferences::Written, "render_filename \"/" + QByteArray(qsizetype{1024} * 1024, 'd') + '"',
                   launchFailed, {});
    preferencesRow("preferences with NUL bytes", Preferences::Written,
                   QByteArray("render_filename \"/x") + '\0' + ".pov\"\nrender_filename \"/y.pov\"" + '\0' + "\"tail\"\n", QString(),
                   renderOptions("/y.pov"));
    preferencesRow("preferences with CR LF line ends", Preferences::Written, "other\r\nrender_filename \"/x.pov\"\r\n", QString(), renderOptions());
    preferencesRow("scene path not UTF-8", Preferences::Written, "render_filename \"/sc\xE8ne.pov\"\n", QString(), renderOptions("/sc\xE8ne.pov"));
    preferencesRow("home path not UTF-8", Preferences::InHomeNotUtf8, usable, QString(), renderOptions());

    rendererRow("renderer missing", Renderer::Missing, {}, launchFailed, {});
    rendererRow("renderer not executable", Renderer::NotExecutable, {}, launchFailed, {});
    rendererRow("renderer a directory", Renderer::Directory, {}, launchFailed, {});
    rendererRow("renderer a script with a missing interpreter", Renderer::MissingInterpreter, {}, launchFailed, {});
    rendererRow("renderer exits at once with its own error", Renderer::Fake, "err:Parse Error: no scene\\n;exit:1",
                QStringLiteral("Parse Error: no scene\n"), renderOptions());
    rendererRow("renderer floods bytes that are not UTF-8", Renderer::Fake, "flood:600000:\\xE2\\x82\\xACa\\xFF\\xC0",
                QStringLiteral(u"€a\uFFFD\uFFFD").repeated(100000), renderOptions());

    fieldsRow("width empty", QString(), QString());
    fieldsRow("width not a number", QStringLiteral("wide"), QString());
    fieldsRow("output path of 10,000 characters", QString(), QStringLiteral("/tmp/") + QString(9995, u'o'));
    fieldsRow("shell metacharacters in fields", QStringLiteral(" 64 ; rm -rf /"), QStringLiteral("/tmp/$(touch x); `id` | *.png"));
    fieldsRow("newline inside a field", QStringLiteral("64\n+H1"), QStringLiteral("/tmp/a\n.png"));
}

void TestBadInput::eachBadInputHasItsOutcome()
{
    QFETCH(Preferences, preferences);
    QFETCH(QByteArray, content);
    QFETCH(Renderer, renderer);
    QFETCH(QByteArray, script);
    QFETCH(QString, width);
    QFETCH(QString, output);
    QFETCH(QString, log);
    QFETCH(QByteArrayList, options);

    const QTemporaryDir scratch;
    const QByteArray home = preferences == Preferences::InHomeNotUtf8 ? QFile::encodeName(scratch.path()) + "/h\xF6me"
                                                                      : QFile::encodeName(scratch.path());
    const QByteArray prefs = home + "/.mossworkprefs";
    if (preferences == Preferences::InHomeNotUtf8)
        QCOMPARE(::mkdir(home.constData(), 0700), 0);
    // QTemporaryDir cannot name what is not UTF-8, so it could not remove it.
    const auto removeHome = qScopeGuard([&] {
        if (preferences == Preferences::InHomeNotUtf8) {
            ::unlink(prefs.constData());
            ::rmdir(home.constData());
        }
    });
    switch (preferences) {
    case Preferences::Missing:
        break;
    case Preferences::Directory:
        QCOMPARE(::mkdir(prefs.constData(), 0700), 0);
        break;
    case Preferences::Fifo:
        QCOMPARE(::mkfifo(prefs.constData(), 0600), 0);
        break;
    case Preferences::HundredMegabytes: {
        // Sparse: a hundred megabytes of NUL bytes that take no disk space and no time to write.
        QVERIFY(writeFile(prefs, {}));
        QCOMPARE(::truncate(prefs.constData(), off_t{100} * 1024 * 1024), 0);
        QFile appended(QFile::decodeName(prefs));
        QVERIFY(appended.open(QIODevice::Append));
        QCOMPARE(appended.write('\n' + content), content.size() + 1);
        break;
    }
    default:
        QVERIFY(writeFile(prefs, content, preferences == Preferences::Unreadable ? 0 : 0644));
    }

    QByteArray program = FAKE_POVRAY;
    if (renderer != Renderer::Fake)
        program = QFile::encodeName(scratch.filePath(QStringLiteral("povray")));
    if (renderer == Renderer::NotExecutable)
        QVERIFY(writeFile(program, "#!/bin/sh\n"));
    else if (renderer == Renderer::Directory)
        QCOMPARE(::mkdir(program.constData(), 0755), 0);
    else if (renderer == Renderer::MissingInterpreter)
        QVERIFY(writeFile(program, "#!/nonexistent/sh\n", 0755));

    const QString argumentsFile = scratch.filePath(QStringLiteral("arguments"));
    qputenv("HOME", home);
    qputenv("FAKE_POVRAY_ARGS", argumentsFile.toUtf8());
    setFakeScript(script);
    MainWindowDefinition mainWindow(QFile::decodeName(program));
    Ui::MainWindow &controls = mainWindow.controls();
    controls.antialias->setChecked(false);
    controls.width->setText(width);
    controls.outputFile->setText(output);
    controls.renderButton->setText(QStringLiteral("untouched"));

    // Root reads any file whatever its mode: the press is made with a plain user's file access
    // instead, the home directory only searchable, so that the file's own mode is what refuses it.
    const bool dropAccess = preferences == Preferences::Unreadable && ::geteuid() == 0;
    if (dropAccess) {
        QCOMPARE(::chmod(home.constData(), 0711), 0);
        ::setfsuid(65534);
    }
    controls.renderButton->click();
    if (dropAccess)
        ::setfsuid(0);
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow.controller().isRendering(), 20000);

    QCOMPARE(controls.textView->text(), log);
    const bool noPreferences = log == QLatin1String(KilnlightController::noPreferencesMessage);
    QCOMPARE(controls.renderButton->text(), noPreferences ? QStringLiteral("untouched") : QStringLiteral("Render"));
    if (options.isEmpty())
        QVERIFY(!QFile::exists(argumentsFile));
    else
        QCOMPARE(readArguments(argumentsFile), QByteArrayList{program} + options);
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
