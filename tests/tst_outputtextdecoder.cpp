#include "platform/log/OutputTextDecoder.h"

#include <QTest>

using namespace Qt::StringLiterals;

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
    // Long plain runs take faster paths, which must stop at a byte above ASCII, within a sequence, and at a LF ending a CR LF.
    const QByteArray plain = QByteArray("0123456789abcdef").repeated(5);
    // The Unicode Standard's example of maximal subparts; bad leads; a surrogate, an overlong form, above U+10FFFF; cut short.
    QTest::newRow("ill-formed") << QByteArrayList{"\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64\x80\xFF\xC0\xAFz\xE2", plain,
                                                  "\xED\xA0\x80\xE0\x80\xAF\xF4\x90ok\xE2\x82"}
                                << u"\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd\uFFFD\uFFFD\uFFFD\uFFFDz\uFFFD"_s + QString::fromLatin1(plain)
                                       + QString(8, u'\uFFFD') + u"ok\uFFFD"_s;
    QTest::newRow("a character split across reads") << QByteArrayList{"a\xE2", "\x82\xAC"} << u"a\u20AC"_s;
    QTest::newRow("line ends") << QByteArrayList{"\xC3\xA9" + plain + '\r' + plain + '\r', '\n' + plain + "d\r", "e", "\nf\r\xE2", "\n"}
                               << u"\u00e9"_s + QString::fromLatin1(plain + '\n' + plain + '\n' + plain + "d\ne\nf\n") + u"\uFFFD\n"_s;
    // Progress lines each end in a CR, a group apiece; Windows' lines end in CR LF, many to a group.
    // A CR LF spans two groups, two words of a group, and two reads.
    const QByteArray windows = QByteArray("line\r\n").repeated(11);
    const QByteArrayList lines{QByteArray("Rendered 1 of 76800 pixels (0%)\r").repeated(5) + '\n' + QByteArray(31, 'y') + QByteArray(7, 'z') + "\r\n"
                                   + QByteArray(23, 'z') + windows.first(65),
                               windows.sliced(65) + plain + '\r', '\n' + plain};
    QTest::newRow("lines ending in CR and in CR LF") << lines << QString::fromLatin1(lines.join().replace("\r\n", "\n").replace('\r', '\n'));
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
