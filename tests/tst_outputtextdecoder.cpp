#include "platform/Utf8StreamDecoder.h"

#include <QTest>

class TestUtf8StreamDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesWholeStreams_data();
    void decodesWholeStreams();
    void textDoesNotDependOnWhereTheStreamIsCut();
};

static QString decodeWhole(const QByteArray &bytes)
{
    Utf8StreamDecoder decoder;
    QString text = decoder.decode(bytes);
    return text + decoder.flush();
}

void TestUtf8StreamDecoder::decodesWholeStreams_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii and accents") << QByteArray("caf\xC3\xA9 ok\n") << QStringLiteral(u"café ok\n");
    QTest::newRow("outside the BMP") << QByteArray("\xF0\x9F\x98\x80") << QStringLiteral(u"\U0001F600");
    QTest::newRow("lone continuation and bad lead bytes") << QByteArray("a\x80\xFF\xC0z")
                                                          << QStringLiteral(u"a\uFFFD\uFFFD\uFFFDz");
    // The Unicode Standard's own example of replacing maximal subparts.
    QTest::newRow("maximal subparts") << QByteArray("\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64")
                                      << QStringLiteral(u"\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd");
    QTest::newRow("surrogate and overlong forms") << QByteArray("\xED\xA0\x80\xE0\x80\xAF")
                                                  << QStringLiteral(u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
    QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << QStringLiteral(u"\uFFFD\uFFFD\uFFFD\uFFFD");
    QTest::newRow("truncated at the end") << QByteArray("ok\xE2\x82") << QStringLiteral(u"ok\uFFFD");
}

void TestUtf8StreamDecoder::decodesWholeStreams()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeWhole(bytes), text);
}

void TestUtf8StreamDecoder::textDoesNotDependOnWhereTheStreamIsCut()
{
    const QByteArray stream("\xE2\x82\xAC=euro \xF0\x9F\x98\x80 \xC3\xA9\xFF\xE2\x82 x\xF1\x80\x80\xE1\x80\xC2\x62\xED\xA0\x80\xE2\x82");
    const QString whole = decodeWhole(stream);
    QVERIFY(!whole.contains(QChar(u'\0')));
    for (qsizetype first = 0; first <= stream.size(); ++first) {
        for (qsizetype second = first; second <= stream.size(); ++second) {
            Utf8StreamDecoder decoder;
            QString pieces = decoder.decode(stream.first(first));
            pieces += decoder.decode(stream.sliced(first, second - first));
            pieces += decoder.decode(stream.sliced(second));
            pieces += decoder.flush();
            QCOMPARE(pieces, whole);
        }
    }
}

QTEST_GUILESS_MAIN(TestUtf8StreamDecoder)
#include "tst_utf8streamdecoder.moc"
