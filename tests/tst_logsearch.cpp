#include "platform/log/LogSearch.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Direction = LogSearch::Direction;

class TestLogSearch : public QObject
{
    Q_OBJECT

private slots:
    void findsAndCounts_data();
    void findsAndCounts();
    void countsWhatTheLogGrowsBy();
    void indexesMatchesAnywhere();
};

namespace {

// Every piece of work as small, as large and as odd as a caller may hand out.
const std::initializer_list<qsizetype> stepSizes{1, 977, qsizetype{1} << 20};

void finish(LogSearch &search, qsizetype positions)
{
    for (int steps = 0; search.step(positions); ++steps)
        QVERIFY2(steps < 10'000'000, "the search never ends");
}

} // namespace

void TestLogSearch::findsAndCounts_data()
{
    QTest::addColumn<QStringList>("pieces"); // appended in turn; stretches hold 1,024 units
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<qsizetype>("from");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<qsizetype>("found"); // -1 for none
    QTest::addColumn<bool>("wrapped");
    QTest::addColumn<qsizetype>("count");

    const QString fill = QString(1021, u'x');
    QTest::newRow("across stretches") << QStringList{fill + u"needle"_s} << u"needle"_s << false << qsizetype{0} << true << qsizetype{1021} << false << qsizetype{1};
    QTest::newRow("Latin-1 into a wide stretch") << QStringList{fill + u"ab"_s, u"c\u2713 abc"_s} << u"abc\u2713"_s << false << qsizetype{5} << true << qsizetype{1021} << false << qsizetype{1};
    QTest::newRow("wide into Latin-1") << QStringList{QString(1022, u'\u00e9') + u'\u2192', u"\u00e9\u00e9 z"_s}
                                       << u"\u2192\u00c9\u00c9"_s << false << qsizetype{0} << true << qsizetype{1022} << false << qsizetype{1};
    QTest::newRow("case folded") << QStringList{u"Parse ERROR: x\nparse error"_s} << u"parse error"_s << false << qsizetype{1} << true << qsizetype{15} << false << qsizetype{2};
    QTest::newRow("match case") << QStringList{u"Parse ERROR: x\nparse error"_s} << u"Parse"_s << true << qsizetype{1} << true << qsizetype{0} << true << qsizetype{1};
    QTest::newRow("folded beyond Latin-1") << QStringList{u"\u039f\u0394\u03a5\u03a3\u03a3\u0395\u03a5\u03a3"_s} << u"\u03c3\u03b5\u03c5\u03c2"_s << false << qsizetype{0} << true << qsizetype{4} << false << qsizetype{1};
    QTest::newRow("Latin-1 micro folds to mu") << QStringList{u"5 \u00b5s"_s} << u"\u039cS"_s << false << qsizetype{0} << true << qsizetype{2} << false << qsizetype{1};
    QTest::newRow("overlapping") << QStringList{u"aaaa"_s} << u"aa"_s << false << qsizetype{1} << true << qsizetype{1} << false << qsizetype{3};
    QTest::newRow("at the start point") << QStringList{u"ab ab ab"_s} << u"ab"_s << false << qsizetype{3} << true << qsizetype{3} << false << qsizetype{3};
    QTest::newRow("backward, before the start point") << QStringList{u"ab ab ab"_s} << u"ab"_s << false << qsizetype{3} << false << qsizetype{0} << false << qsizetype{3};
    QTest::newRow("backward wraps to the bottom") << QStringList{u"ab ab ab"_s} << u"ab"_s << false << qsizetype{0} << false << qsizetype{6} << true << qsizetype{3};
    QTest::newRow("forward wraps to the top") << QStringList{fill, u"needle"_s, fill} << u"NEEDLE"_s << false << qsizetype{2000} << true << qsizetype{1021} << true << qsizetype{1};
    QTest::newRow("the only match, from just after it") << QStringList{u"one needle"_s} << u"needle"_s << false << qsizetype{5} << true << qsizetype{4} << true << qsizetype{1};
    QTest::newRow("none") << QStringList{fill, fill} << u"y"_s << false << qsizetype{7} << true << qsizetype{-1} << false << qsizetype{0};
    QTest::newRow("longer than the log") << QStringList{u"ab"_s} << u"abc"_s << false << qsizetype{0} << true << qsizetype{-1} << false << qsizetype{0};
    QTest::newRow("empty pattern") << QStringList{u"ab"_s} << QString() << false << qsizetype{0} << true << qsizetype{-1} << false << qsizetype{0};
}

void TestLogSearch::findsAndCounts()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, pattern);
    QFETCH(bool, matchCase);
    QFETCH(qsizetype, from);
    QFETCH(bool, forward);
    QFETCH(qsizetype, found);
    QFETCH(bool, wrapped);
    QFETCH(qsizetype, count);

    LogText text;
    for (const QString &piece : pieces)
        text.append(piece);
    for (const qsizetype positions : stepSizes) {
        LogSearch search(text);
        search.setPattern(pattern, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive);
        search.find(from, forward ? Direction::Forward : Direction::Backward);
        finish(search, positions);
        QCOMPARE(search.current().value_or(-1), found);
        QCOMPARE(search.wrapped(), found >= 0 && wrapped);
        QVERIFY(search.isCounted());
        QCOMPARE(search.count(), count);
        if (found >= 0) {
            const std::vector<qsizetype> visible = search.matchesIn(found + pattern.size() - 1, found + pattern.size());
            QVERIFY(std::ranges::find(visible, found) != visible.cend());
        }
    }
}

void TestLogSearch::countsWhatTheLogGrowsBy()
{
    LogText text;
    LogSearch search(text);
    search.setPattern(u"Warning"_s, Qt::CaseInsensitive);
    QString whole;
    // A match split between two appends, another between stretches, output of other scripts.
    const QStringList pieces{u"Parse Warn"_s, u"ing: x\n"_s, QString(1020, u'.') + u"warn"_s, u"ING \u2713\n"_s.repeated(300), u"no match\n"_s};
    for (int round = 0; round < 50; ++round) {
        for (const QString &piece : pieces) {
            text.append(piece);
            whole += piece;
            search.step(round % 2 == 0 ? 100 : 5000);
        }
    }
    finish(search, 4096);
    QCOMPARE(search.count(), whole.count(u"warning"_s, Qt::CaseInsensitive));
    QCOMPARE(search.count(), 100);

    search.find(0, Direction::Forward);
    finish(search, 4096);
    QCOMPARE(search.current(), std::optional<qsizetype>(6));
    QCOMPARE(search.currentIndex(), std::optional<qsizetype>(1));
    text.clear();
    text.append(u"warning"_s);
    search.textReplaced();
    QCOMPARE(search.count(), 0);
    QVERIFY(!search.current());
    finish(search, 4096);
    QCOMPARE(search.count(), 1);
}

// The index of a match comes from the tallies kept every 64 Ki positions and a search from the last one.
void TestLogSearch::indexesMatchesAnywhere()
{
    LogText text;
    QString whole;
    const QString line = u"Rendering line 7 of 480: tRace \u00e9\n"_s;
    while (whole.size() < 3 * LogSearch::tallyEvery + 777)
        whole += line;
    whole += u"\u2603 trace"_s;
    text.append(whole);
    LogSearch search(text);
    search.setPattern(u"trace"_s, Qt::CaseInsensitive);
    for (const qsizetype from : {qsizetype{0}, LogSearch::tallyEvery, LogSearch::tallyEvery + 1, 2 * LogSearch::tallyEvery + 5000, whole.size() - 3}) {
        search.find(from, Direction::Forward);
        while (search.isFinding())
            search.step(4096);
        const qsizetype at = search.current().value_or(-1);
        QVERIFY(at >= from || search.wrapped());
        finish(search, 4096);
        QCOMPARE(search.currentIndex().value_or(-1), QStringView(whole).first(at).count(u"trace"_s, Qt::CaseInsensitive) + 1);
    }
    QCOMPARE(search.count(), whole.count(u"trace"_s, Qt::CaseInsensitive));
}

QTEST_APPLESS_MAIN(TestLogSearch)
#include "tst_logsearch.moc"
