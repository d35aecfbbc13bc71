#include "platform/log/OutputTextDecoder.h"

#include <QTest>

class TestOutputTextDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesTheStream_data();
    void decodesTheStream();
};

void TestOutputTextDecoder::decodesTheStream_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii and accents") << QByteArrayList{"caf\xC3\xA9 ok\n"} << QStringLiteral(u"café ok\n");
    QTest::newRow("outside the BMP, split") << QByteArrayList{"\xF0\x9F", "", "\x98\x80"} << QStringLiteral(u"\U0001F600");
    QTest::newRow("lone continuation and bad lead bytes") << QByteArrayList{"a\x80\xFF\xC0z"} << QStringLiteral(u"a\uFFFD\uFFFD\uFFFDz");
    // The Unicode Standard's own example of replacing maximal subparts.
    QTest::newRow("maximal subparts") << QByteArrayList{"\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"}
                                      << QStringLiteral(u"\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd");
    QTest::newRow("surrogate, overlong, above U+10FFFF") << QByteArrayList{"\xED\xA0\x80\xE0\x80\xAF\xF4\x90"}
                                                         << QStringLiteral(u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    QTest::newRow("truncated at the end") << QByteArrayList{"ok\xE2\x82"} << QStringLiteral(u"ok\uFFFD");
    QTest::newRow("lone CR is a line end") << QByteArrayList{"10%\r20%\r\r"} << QStringLiteral("10%\n20%\n\n");
    QTest::newRow("CR LF is one, also split") << QByteArrayList{"a\r\nb\r", "\nc\r", "", "\n"} << QStringLiteral("a\nb\nc\n");
    QTest::newRow("LF after a CR-free piece stays") << QByteArrayList{"a\r", "b", "\nc"} << QStringLiteral("a\nb\nc");
    QTest::newRow("CR, bad byte, LF") << QByteArrayList{"a\r\xE2", "\n"} << QStringLiteral(u"a\n\uFFFD\n");
    const QByteArray plain = QByteArray("0123456789abcdef").repeated(5);
    QTest::newRow("long plain runs around CRs") << QByteArrayList{plain + '\r' + plain + '\r', '\n' + plain + "\xC3\xA9" + plain}
                                                << QString::fromLatin1(plain + '\n' + plain + '\n' + plain) + u'é' + QString::fromLatin1(plain);
}

void TestOutputTextDecoder::decodesTheStream()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QString, text);
    OutputTextDecoder decoder;
    QString decoded;
    for (const QByteArray &piece : pieces)
        decoded += decoder.decode(piece);
    QCOMPARE(decoded + decoder.flush(), text);
}

QTEST_GUILESS_MAIN(TestOutputTextDecoder)
#include "tst_outputtextdecoder.moc"
