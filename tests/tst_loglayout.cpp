#include "platform/log/LogCaret.h"
#include "platform/log/LogLayout.h"

#include <QFontDatabase>
#include <QTest>

using namespace Qt::StringLiterals;

class TestLogLayout : public QObject
{
    Q_OBJECT

private slots:
    void findsEveryCharacterWhereItStands_data();
    void findsEveryCharacterWhereItStands();
    void reachesEveryCharacter_data();
    void reachesEveryCharacter();
    void movesByWordsAsScreenReadersRead_data();
    void movesByWordsAsScreenReadersRead();
};

namespace {

const QSize viewport(400, 200);
// Tabs, a wide character, an emoji and a combining mark, over and over: a line long enough to be
// laid out only around the columns shown.
QString wide()
{
    return QStringLiteral(u"a\tb\u6F22\U0001F600e\u0301 ").repeated(3000) + u"two words"_s;
}

bool startsCharacter(const QString &text, qsizetype position)
{
    return !text.at(position).isLowSurrogate() && !text.at(position).isMark();
}

} // namespace

void TestLogLayout::findsEveryCharacterWhereItStands_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("column");
    QTest::newRow("short lines") << u"alpha beta\ngamma\n\ndelta"_s << qsizetype{0};
    QTest::newRow("tabs, wide and combined characters") << wide().first(40) + u'\n' + wide().first(30) << qsizetype{3};
    QTest::newRow("a long line from its middle") << wide() << wide().size() / 2;
}

// Each character shown is found under its own area, the areas in order from left to right.
void TestLogLayout::findsEveryCharacterWhereItStands()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, column);
    LogText content;
    content.append(text);
    LogLayout layout(content);
    layout.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout.setPage(0, column, viewport);
    const QRectF shown(QPointF(0, 0), QSizeF(viewport));
    qsizetype found = 0;
    for (qsizetype line = 0; line < content.lineCount(); ++line) {
        qreal left = -1e9;
        for (qsizetype position = content.lineStart(line); position < content.lineEnd(line); ++position) {
            const QRectF area = layout.characterArea(position);
            if (!startsCharacter(text, position) || !shown.contains(area))
                continue;
            QVERIFY2(area.left() >= left, qPrintable(QString::number(position)));
            left = area.left();
            QCOMPARE(layout.positionAt(area.center(), QTextLine::CursorOnCharacter), position);
            ++found;
        }
    }
    QVERIFY(found > 10);
}

enum Reach { LastColumn, PageAcross, PageShowing };

void TestLogLayout::reachesEveryCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reach");
    QTest::newRow("a long line's end at the last column") << wide() << int(LastColumn);
    QTest::newRow("tabs and wide characters, paged across") << wide().first(12000) << int(PageAcross);
    QTest::newRow("many lines, each position shown in turn") << QString(1000, u'-').append(u'\n').repeated(50) + wide() << int(PageShowing);
}

void TestLogLayout::reachesEveryCharacter()
{
    QFETCH(QString, text);
    QFETCH(int, reach);
    LogText content;
    content.append(text);
    LogLayout layout(content);
    layout.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout.setPage(0, 0, viewport);
    const auto shown = [&](qsizetype at) { return QRectF(QPointF(0, 0), QSizeF(viewport)).contains(layout.characterArea(at)); };
    if (reach == LastColumn) {
        layout.setPage(0, layout.lastFirstColumn(), viewport);
        QVERIFY(shown(text.size() - 1));
    }
    // Page by page from the start, no character may be passed over.
    for (qsizetype next = 0, column = 0; reach == PageAcross && next < text.size();) {
        QVERIFY2(shown(next), qPrintable(QString::number(next)));
        while (next < text.size() && shown(next))
            ++next;
        column = std::min(layout.pagedAcross(true, column + layout.columns()), layout.lastFirstColumn());
        layout.setPage(0, column, viewport);
    }
    for (qsizetype position = 0; reach == PageShowing && position <= text.size(); position += 997) {
        const auto [line, column] = layout.pageShowing(position);
        layout.setPage(line, column, viewport);
        QVERIFY2(shown(position), qPrintable(QString::number(position)));
    }
}

void TestLogLayout::movesByWordsAsScreenReadersRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("position");
    QTest::addColumn<QString>("word");
    QTest::addColumn<qsizetype>("nextWord");
    QTest::addColumn<qsizetype>("previousWord");
    QTest::newRow("joined by an underscore") << u"set foo_bar = 1"_s << qsizetype{6} << u"foo_bar"_s << qsizetype{14} << qsizetype{4};
    QTest::newRow("a decimal point") << u"don't 3.14 x"_s << qsizetype{7} << u"3.14"_s << qsizetype{11} << qsizetype{6};
    QTest::newRow("an apostrophe") << u"don't 3.14 x"_s << qsizetype{2} << u"don't"_s << qsizetype{6} << qsizetype{0};
    QTest::newRow("a combining accent") << u"cafe\u0301 ok"_s << qsizetype{2} << u"cafe\u0301"_s << qsizetype{6} << qsizetype{0};
    QTest::newRow("between words, on the line's end") << u"ab  cd\nef"_s << qsizetype{6} << u"\n"_s << qsizetype{7} << qsizetype{4};
    QTest::newRow("a word longer than the reach") << QString(200000, u'x') << qsizetype{100000} << QString(2 * LogCaret::wordReach - 1, u'x')
                                                  << qsizetype{100000 + LogCaret::wordReach} << qsizetype{100000 - LogCaret::wordReach};
}

// Double-clicks, word motion and screen readers share these answers.
void TestLogLayout::movesByWordsAsScreenReadersRead()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, position);
    QFETCH(QString, word);
    QFETCH(qsizetype, nextWord);
    QFETCH(qsizetype, previousWord);
    LogText content;
    content.append(text);
    const LogCaret caret(content);
    const auto [start, end] = caret.wordAt(position);
    QCOMPARE(content.mid(start, end), word);
    QCOMPARE(caret.moved(position, LogCaret::NextWord, 1), nextWord);
    QCOMPARE(caret.moved(position, LogCaret::PreviousWord, 1), previousWord);
}

QTEST_MAIN(TestLogLayout)
#include "tst_loglayout.moc"
