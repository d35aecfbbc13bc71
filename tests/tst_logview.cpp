#include "TestSupport.h"
#include "platform/log/LogView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QTest>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestLogView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void showsWhatWasAppended_data();
    void showsWhatWasAppended();
    void runningOutOfMemoryKeepsWhatWasShown();
    void selectsCopiesAndTellsAccessibilityTools();
    void reachesEveryCharacter_data();
    void reachesEveryCharacter();
    void paintsHighlightsInLayers();
    void highlightsTextWrittenBothWays_data();
    void highlightsTextWrittenBothWays();

private:
    std::unique_ptr<LogView> view;
};

void TestLogView::init()
{
    view = std::make_unique<LogView>();
    view->resize(400, 200);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
}

void TestLogView::showsWhatWasAppended_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QString>("text");
    QTest::newRow("lines beyond Latin-1") << QStringList{u"a\nb"_s, u"c\u00e9 "_s, u"\u2713 \U0001F600\n"_s, u"\u00e9"_s}
                                          << u"a\nbc\u00e9 \u2713 \U0001F600\n\u00e9"_s;
    const QString block = QString(3 << 20, u'x') + u'\n';
    QTest::newRow("pieces larger than a block") << QStringList{block, u"\u2713"_s, block} << block + u'\u2713' + block;
    const QString late = QString(1500, u'a') + u'\u2192' + QString(700, u'b') + u'\n';
    QStringList mixed{u"12\n"_s, late, QString(3000, u'\n') + u"x\n"_s.repeated(2000), late};
    for (int piece = 0; piece < 3000; ++piece)
        mixed << QStringList{u"ab\n"_s, u"\u2192"_s, u"\u00e9\n\n"_s}.at(piece % 3);
    QTest::newRow("wide late in a piece, short lines, widths alternating piece by piece") << mixed << mixed.join(QString());
}

// Each text replaces a longer one, selected, whose memory is used again without a trace of what it held.
void TestLogView::showsWhatWasAppended()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, text);
    view->appendText(QString(5 << 20, u'o').append(u'\n').repeated(2));
    view->selectAll();
    view->replaceText(pieces.takeFirst());
    for (const QString &piece : std::as_const(pieces))
        view->appendText(piece);
    QCOMPARE(view->selectedText(), QString());
    QCOMPARE(view->text(), text);
    qsizetype start = 0;
    for (const QStringView line : qTokenize(text, u'\n')) {
        QCOMPARE(view->lineStartAt(start + line.size()), start);
        QCOMPARE(view->lineEndAt(start), start + line.size());
        start += line.size() + 1;
    }
}

// In a child with little address space left, whatever fails to be allocated: the log keeps what it
// showed, and a note still gets through on a line of its own.
void TestLogView::runningOutOfMemoryKeepsWhatWasShown()
{
#if KILNLIGHT_UNDER_ASAN
    QSKIP("AddressSanitizer cannot run under an address-space limit");
#endif
    const QString lines = QStringLiteral(u"Trace \u2192 ok\n").repeated(4096);
    const pid_t child = ::fork();
    if (child == 0) {
        QFile statm(QStringLiteral("/proc/self/statm"));
        statm.open(QIODevice::ReadOnly);
        const auto mapped = static_cast<rlim_t>(statm.readAll().split(' ').front().toLongLong() * ::sysconf(_SC_PAGESIZE));
        const rlimit limit{mapped + (64 << 20), mapped + (64 << 20)};
        qsizetype shown = 0;
        try {
            for (::setrlimit(RLIMIT_AS, &limit); shown < (qsizetype{1} << 30); shown = view->length())
                view->appendText(lines);
        } catch (const std::bad_alloc &) {
            view->appendNote(u"out of memory");
        }
        ::_exit(shown > 0 && view->textRange(shown - lines.size(), shown) == lines
                        && view->textRange(shown, view->length()).endsWith(u"\nout of memory"_s) ? 0 : 1);
    }
    int status = -1;
    QVERIFY(::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

void TestLogView::selectsCopiesAndTellsAccessibilityTools()
{
    const QString all = u"alpha beta gamma\ndelta\n"_s;
    view->appendText(all);
    const auto copies = [this](const QString &selected) {
        QCOMPARE(view->selectedText(), selected);
        QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), selected);
        QCOMPARE(QApplication::clipboard()->mimeData()->data(u"text/plain;charset=utf-8"_s), selected.toUtf8());
    };
    const QPoint to = view->characterRect(19).center();
    const QRect first = view->characterRect(6);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, first.center() - QPoint(first.width() / 2 - 1, 0));
    QTest::mouseMove(view->viewport(), to);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    copies(u"beta gamma\nde"_s);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->characterRect(13).center());
    copies(u"gamma"_s);
    const QKeyCombination home = Qt::CTRL | Qt::Key_Home;
    for (const auto &[keys, selected] : {std::pair(QKeySequence(Qt::CTRL | Qt::Key_A), all),
                                         std::pair(QKeySequence(home, Qt::SHIFT | Qt::Key_Right, Qt::SHIFT | Qt::Key_Right), u"al"_s),
                                         std::pair(QKeySequence(home, Qt::SHIFT | Qt::Key_Down, Qt::SHIFT | Qt::Key_End), all.chopped(1))}) {
        QTest::keySequence(view.get(), keys);
        copies(selected);
    }

    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(view.get());
    QAccessibleTextInterface *text = accessible != nullptr ? accessible->textInterface() : nullptr;
    QVERIFY(text != nullptr && accessible->state().readOnly);
    QCOMPARE(text->text(0, text->characterCount()), all);
    int start = -1;
    int end = -1;
    for (const auto &[boundary, offset, expected, from] : {std::tuple(QAccessible::LineBoundary, 19, "delta\n", 17),
                                                           std::tuple(QAccessible::WordBoundary, 13, "gamma", 11),
                                                           std::tuple(QAccessible::SentenceBoundary, 3, "alpha beta gamma\n", 0)}) {
        QCOMPARE(text->textAtOffset(offset, boundary, &start, &end), QString::fromLatin1(expected));
        QCOMPARE(std::pair(start, end), std::pair(from, from + static_cast<int>(qstrlen(expected))));
    }
    text->setSelection(0, 6, 10);
    copies(u"beta"_s);
    QCOMPARE(text->offsetAtPoint(view->viewport()->mapToGlobal(view->characterRect(3).center())), 3);
    // Copied in pieces, one of which ends inside a character outside the BMP.
    view->appendText(QString((1 << 20) - 1 - all.size(), u'x') + u"\U0001F600"_s);
    view->selectAll();
    copies(view->text());
    // Not the whole log either: a screen reader asking for it gets the stretch around its offset.
    view->appendText(QString(200000, u'x'));
    const QString near = text->textAtOffset(100000, QAccessible::NoBoundary, &start, &end);
    QCOMPARE(std::tuple(start, end, near.size()), std::tuple(100000 - 65536, 100000 + 65536, 2 * 65536));
}

enum Reach { ToTheEnd, EndAndWords };

void TestLogView::reachesEveryCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reach");
    const QString wide = QStringLiteral(u"a\tb\u6F22\U0001F600e\u0301 ").repeated(3000) + QStringLiteral("two words");
    QTest::newRow("many lines, to the end, across too") << QString(1000, u'-').append(u'\n').repeated(5000) + u"last"_s << int(ToTheEnd);
    QTest::newRow("one long line, End and words") << wide << int(EndAndWords);
}

void TestLogView::reachesEveryCharacter()
{
    QFETCH(QString, text);
    QFETCH(int, reach);
    view->appendText(text);
    QScrollBar *across = view->horizontalScrollBar();
    across->setValue(across->maximum() / 2);
    const auto shown = [&](qsizetype at) { return view->viewport()->rect().contains(view->characterRect(at)); };
    if (reach == ToTheEnd)
        view->scrollToEnd();
    if (reach == EndAndWords) {
        QTest::keyClick(view.get(), Qt::Key_End);
        QTest::keyClick(view.get(), Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(view->selectedText(), QStringLiteral("words"));
    }
    QVERIFY(shown(text.size()));
}

namespace {

// Answers with fixed highlights, remembering the longest stretch it was asked for.
class FixedHighlighter : public LogHighlighter
{
public:
    FixedHighlighter(std::vector<std::pair<qsizetype, qsizetype>> ranges, const QColor &background, const QColor &text = {})
        : ranges(std::move(ranges))
    {
        if (background.isValid())
            format.setBackground(background);
        if (text.isValid())
            format.setForeground(text);
    }
    void highlightsIn(qsizetype start, qsizetype end, std::vector<LogHighlight> &into) const override
    {
        longestAsked = std::max(longestAsked, end - start);
        for (const auto &[from, to] : ranges) {
            if (from < end && to > start)
                into.push_back({from, to, format});
        }
    }
    mutable qsizetype longestAsked = 0;

private:
    std::vector<std::pair<qsizetype, qsizetype>> ranges;
    QTextCharFormat format;
};

} // namespace

// Later highlighters on top of earlier ones, the selection on top of all, in a long line's window too.
void TestLogView::paintsHighlightsInLayers()
{
    const qsizetype far = 41 + 50000;
    view->appendText(QString(30, u' ') + QString(10, u'M') + u'\n' + QString(100000, u' '));
    const FixedHighlighter under({{2, 12}, {far, far + 5}}, Qt::red);
    const FixedHighlighter over({{8, 20}}, Qt::blue);
    const FixedHighlighter inked({{30, 40}}, {}, Qt::red);
    const FixedHighlighter inkedOver({{35, 40}}, {}, Qt::green);
    for (const FixedHighlighter *highlighter : {&under, &over, &inked, &inkedOver})
        view->addHighlighter(highlighter);
    view->setSelection(10, 14);
    const auto colourAt = [&](qsizetype position) { return view->viewport()->grab().toImage().pixelColor(view->characterRect(position).center()); };
    const QColor selected = view->palette().color(QPalette::Highlight);
    for (const auto &[position, colour] : {std::pair(4, QColor(Qt::red)), std::pair(9, QColor(Qt::blue)), std::pair(11, selected),
                                           std::pair(16, QColor(Qt::blue)), std::pair(25, view->palette().color(QPalette::Base))})
        QCOMPARE(colourAt(position), colour);
    // Each letter in the colour of the topmost layer over it, blended with white, and in no other.
    const QImage shown = view->viewport()->grab().toImage();
    for (const auto &[position, inked] : {std::pair(32, &QColor::red), std::pair(37, &QColor::green)}) {
        const QRect area = view->characterRect(position);
        int strokes = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor pixel = shown.pixelColor(x, y);
                QCOMPARE((pixel.*inked)(), 255);
                strokes += pixel.value() == 255 && pixel.saturation() > 128 ? 1 : 0;
            }
        }
        QVERIFY(strokes > 0);
    }
    view->horizontalScrollBar()->setValue(49990);
    QCOMPARE(colourAt(far + 2), QColor(Qt::red));
    QVERIFY(under.longestAsked < 10000);
}

void TestLogView::highlightsTextWrittenBothWays_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qsizetype>("from");
    QTest::addColumn<qsizetype>("to");
    const QString latinFirst = u"line \u05E9\u05DC\u05D5\u05DD 42 \u0645\u0631\u062D\u0628\u0627 end"_s;
    QTest::newRow("Latin into Hebrew") << latinFirst << qsizetype{2} << qsizetype{7};
    QTest::newRow("Arabic into Latin") << latinFirst << qsizetype{14} << qsizetype{20};
    QTest::newRow("a line opening in Hebrew") << u"\u05E2\u05D1\u05E8\u05D9\u05EA then \u0639\u0631\u0628\u064A"_s << qsizetype{3} << qsizetype{8};
}

// The columns coloured are those QTextLayout colours for a selection of the same characters, in
// a line laid out from the left.
void TestLogView::highlightsTextWrittenBothWays()
{
    QFETCH(QString, text);
    QFETCH(qsizetype, from);
    QFETCH(qsizetype, to);
    view->appendText(text + u'\n');
    const FixedHighlighter highlighter({{from, to}}, Qt::blue);
    view->addHighlighter(&highlighter);
    const QImage shown = view->viewport()->grab().toImage();

    QImage expected(shown.size(), QImage::Format_ARGB32);
    expected.fill(view->palette().color(QPalette::Base));
    QTextLayout layout(text, view->font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine().setPosition({0, 0});
    layout.endLayout();
    QTextLayout::FormatRange selection{static_cast<int>(from), static_cast<int>(to - from), {}};
    selection.format.setBackground(QColor(Qt::blue));
    QPainter painter(&expected);
    const QRect row = view->characterRect(0);
    layout.draw(&painter, QPointF(LogLayout::margin, row.top()), {selection});
    painter.end();

    const auto coloured = [&](const QImage &image, int x) {
        for (int y = row.top(); y <= row.bottom(); ++y) {
            if (image.pixelColor(x, y) == QColor(Qt::blue))
                return true;
        }
        return false;
    };
    int colouredColumns = 0;
    int differing = 0;
    for (int x = 0; x < shown.width(); ++x) {
        colouredColumns += coloured(shown, x) ? 1 : 0;
        differing += coloured(shown, x) != coloured(expected, x) ? 1 : 0;
    }
    QVERIFY(colouredColumns > 0);
    // Edges may round apart by a pixel; a character misplaced differs by its whole width.
    QVERIFY2(differing <= 4, qPrintable(QString::number(differing)));
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
