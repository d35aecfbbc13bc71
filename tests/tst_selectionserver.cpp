#include "platform/log/LogView.h"
#include "platform/x11/SelectionServer.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// Other X clients pasting through xclip, which reads large selections incrementally.
class TestSelectionServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pastesGetTheCopyWhole_data();
    void pastesGetTheCopyWhole();
    void qtStillListsTheTargets();
    void aStalledPasteIsDropped();

private:
    static std::unique_ptr<QProcess> startPaste(const QString &selection, const QString &target = u"UTF8_STRING"_s);
    static QByteArray pasted(QProcess &paste);
    void copy(const QString &text, QClipboard::Mode mode);

    std::unique_ptr<SelectionServer> server;
    LogView log;
};

namespace {

// Mixed scripts in lines of every length up to one of a million bytes, several MiB in all.
QString mixedScripts(qsizetype lines)
{
    QString text = u"Ελληνικά κείμενα 漢字かな交じり文 😀🎉 mixed\n"_s.repeated(lines);
    text += u"ω漢😀"_s.repeated(1'000'000 / 11) + u"\nend"_s;
    return text;
}

} // namespace

void TestSelectionServer::initTestCase()
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        QSKIP("needs an X display: run through tests/with-xvfb");
    server = SelectionServer::forApplication();
    QVERIFY(server != nullptr);
    server.reset();
    server = std::make_unique<SelectionServer>(
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection(), std::chrono::milliseconds(300));
}

// The log copies to the clipboard as it does for users; the primary selection takes plain text, as
// any other widget would hand it over.
void TestSelectionServer::copy(const QString &text, QClipboard::Mode mode)
{
    if (mode == QClipboard::Clipboard) {
        log.replaceText(text);
        log.selectAll();
        log.copy();
    } else {
        auto *data = new QMimeData;
        data->setText(text);
        QApplication::clipboard()->setMimeData(data, mode); // the clipboard owns it
    }
}

std::unique_ptr<QProcess> TestSelectionServer::startPaste(const QString &selection, const QString &target)
{
    auto paste = std::make_unique<QProcess>();
    paste->start(u"xclip"_s, {u"-o"_s, u"-selection"_s, selection, u"-t"_s, target});
    return paste;
}

QByteArray TestSelectionServer::pasted(QProcess &paste)
{
    // The main loop runs meanwhile: it serves the paste.
    [&] { QTRY_VERIFY_WITH_TIMEOUT(paste.state() == QProcess::NotRunning, 60'000); }();
    return paste.readAllStandardOutput();
}

void TestSelectionServer::pastesGetTheCopyWhole_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QClipboard::Mode>("mode");
    QTest::addColumn<int>("pastesAtOnce");
    QTest::addColumn<bool>("replacedWhilePasting");
    QTest::addColumn<bool>("servedHere");

    const QString large = mixedScripts(40'000);
    QTest::newRow("large, clipboard") << large << QClipboard::Clipboard << 1 << false << true;
    QTest::newRow("large, primary") << large << QClipboard::Selection << 1 << false << true;
    QTest::newRow("large, two pastes at once") << large << QClipboard::Clipboard << 2 << false << true;
    QTest::newRow("large, copied over while pasting") << large << QClipboard::Clipboard << 1 << true << true;
    QTest::newRow("just over what Qt serves") << u"x"_s.repeated(SelectionServer::largestLeftToQt + 1)
                                              << QClipboard::Clipboard << 1 << false << true;
    QTest::newRow("small, left to Qt") << u"Ελληνικά 漢字 😀\n"_s.repeated(200) << QClipboard::Clipboard << 1 << false << false;
    QTest::newRow("at the limit, left to Qt") << u"x"_s.repeated(SelectionServer::largestLeftToQt)
                                              << QClipboard::Selection << 1 << false << false;
}

void TestSelectionServer::pastesGetTheCopyWhole()
{
    QFETCH(QString, text);
    QFETCH(QClipboard::Mode, mode);
    QFETCH(int, pastesAtOnce);
    QFETCH(bool, replacedWhilePasting);
    QFETCH(bool, servedHere);

    copy(text, mode);
    const QString selection = mode == QClipboard::Clipboard ? u"clipboard"_s : u"primary"_s;
    std::vector<std::unique_ptr<QProcess>> pastes;
    for (int each = 0; each < pastesAtOnce; ++each)
        pastes.push_back(startPaste(selection));
    if (servedHere)
        QTRY_COMPARE(server->pastesServed(), pastesAtOnce);
    if (replacedWhilePasting) {
        copy(u"new"_s + text, mode);
        QCOMPARE(pasted(*startPaste(selection)), (u"new"_s + text).toUtf8());
    }
    for (const auto &paste : pastes) {
        QCOMPARE(pasted(*paste), text.toUtf8());
        QCOMPARE(paste->exitCode(), 0);
    }
    QCOMPARE(server->pastesServed(), 0);
}

void TestSelectionServer::qtStillListsTheTargets()
{
    copy(mixedScripts(40'000), QClipboard::Clipboard);
    const QList<QByteArray> targets = pasted(*startPaste(u"clipboard"_s, u"TARGETS"_s)).split('\n');
    for (const QByteArray &target : {"TARGETS"_ba, "UTF8_STRING"_ba, "text/plain;charset=utf-8"_ba})
        QVERIFY2(targets.contains(target), target.constData());
    QCOMPARE(server->pastesServed(), 0);
}

void TestSelectionServer::aStalledPasteIsDropped()
{
    const QString text = mixedScripts(40'000);
    copy(text, QClipboard::Clipboard);
    const auto stalled = startPaste(u"clipboard"_s);
    QTRY_COMPARE(server->pastesServed(), 1);
    stalled->kill();
    QTRY_COMPARE(server->pastesServed(), 0);
    QCOMPARE(pasted(*startPaste(u"clipboard"_s)), text.toUtf8());
}

QTEST_MAIN(TestSelectionServer)
#include "tst_selectionserver.moc"
