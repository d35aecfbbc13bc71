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
    void copy(const QString &text, QClipboard::Mode mode);

    std::unique_ptr<SelectionServer> server;
    LogView log;
};

namespace {

// Mixed scripts, a line of a million bytes among them, several MiB in all.
QString large()
{
    return u"Ελληνικά κείμενα 漢字かな交じり文 😀🎉 mixed\n"_s.repeated(40'000) + u"ω漢😀"_s.repeated(112'000) + u"\nend"_s;
}

std::unique_ptr<QProcess> startPaste(QClipboard::Mode mode, const QString &target = u"UTF8_STRING"_s)
{
    auto paste = std::make_unique<QProcess>();
    paste->start(u"xclip"_s, {u"-o"_s, u"-selection"_s, mode == QClipboard::Clipboard ? u"clipboard"_s : u"primary"_s, u"-t"_s, target});
    return paste;
}

QByteArray pasted(QProcess &paste)
{
    // The main loop runs meanwhile: it serves the paste.
    [&] { QTRY_VERIFY_WITH_TIMEOUT(paste.state() == QProcess::NotRunning, 60'000); }();
    return paste.exitCode() == 0 ? paste.readAllStandardOutput() : "xclip failed"_ba;
}

} // namespace

void TestSelectionServer::initTestCase()
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        QSKIP("needs an X display: run through tests/with-xvfb");
    QVERIFY(SelectionServer::forApplication() != nullptr);
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

void TestSelectionServer::pastesGetTheCopyWhole_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QClipboard::Mode>("mode");
    QTest::addColumn<qsizetype>("pastesAtOnce");
    QTest::addColumn<bool>("copiedOverWhilePasting");

    QTest::newRow("primary") << large() << QClipboard::Selection << qsizetype{1} << false;
    QTest::newRow("two pastes at once") << large() << QClipboard::Clipboard << qsizetype{2} << false;
    QTest::newRow("copied over while pasting") << large() << QClipboard::Clipboard << qsizetype{1} << true;
    QTest::newRow("small, left to Qt") << u"Ελληνικά 漢字 😀\n"_s.repeated(200) << QClipboard::Clipboard << qsizetype{1} << false;
}

void TestSelectionServer::pastesGetTheCopyWhole()
{
    QFETCH(QString, text);
    QFETCH(QClipboard::Mode, mode);
    QFETCH(qsizetype, pastesAtOnce);
    QFETCH(bool, copiedOverWhilePasting);

    copy(text, mode);
    std::vector<std::unique_ptr<QProcess>> pastes(pastesAtOnce);
    for (auto &paste : pastes)
        paste = startPaste(mode);
    if (text.toUtf8().size() > SelectionServer::largestLeftToQt)
        QTRY_COMPARE(server->pastesServed(), pastesAtOnce);
    if (copiedOverWhilePasting) {
        copy(u"new "_s + text, mode);
        QCOMPARE(pasted(*startPaste(mode)), (u"new "_s + text).toUtf8());
    }
    for (const auto &paste : pastes)
        QCOMPARE(pasted(*paste), text.toUtf8());
    QCOMPARE(server->pastesServed(), 0);
}

void TestSelectionServer::qtStillListsTheTargets()
{
    copy(large(), QClipboard::Clipboard);
    const QList<QByteArray> targets = pasted(*startPaste(QClipboard::Clipboard, u"TARGETS"_s)).split('\n');
    for (const QByteArray &target : {"TARGETS"_ba, "UTF8_STRING"_ba, "text/plain;charset=utf-8"_ba})
        QVERIFY2(targets.contains(target), target.constData());
}

void TestSelectionServer::aStalledPasteIsDropped()
{
    copy(large(), QClipboard::Clipboard);
    const auto stalled = startPaste(QClipboard::Clipboard);
    QTRY_COMPARE(server->pastesServed(), 1);
    stalled->kill();
    QTRY_COMPARE(server->pastesServed(), 0);
    QCOMPARE(pasted(*startPaste(QClipboard::Clipboard)), large().toUtf8());
}

QTEST_MAIN(TestSelectionServer)
#include "tst_selectionserver.moc"
