#include "platform/log/LogView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QScrollBar>
#include <QTest>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define KILNLIGHT_UNDER_ASAN 1
#elif defined(__has_feature)
#define KILNLIGHT_UNDER_ASAN __has_feature(address_sanitizer)
#else
#define KILNLIGHT_UNDER_ASAN 0
#endif

class TestLogView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void showsWhatWasAppended_data();
    void showsWhatWasAppended();
    void replacingStartsAfresh();
    void runningOutOfMemoryKeepsWhatWasShown();
    void selectsAndCopiesByKeyboard_data();
    void selectsAndCopiesByKeyboard();
    void selectsByMouse();
    void accessibilityToolsReadTheText();
    void reachesEveryCharacter_data();
    void reachesEveryCharacter();

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
    QTest::newRow("plain lines") << QStringList{QStringLiteral("a\nb"), QStringLiteral("c\n")} << QStringLiteral("a\nbc\n");
    QTest::newRow("beyond Latin-1") << QStringList{QStringLiteral(u"caf\u00e9 "), QStringLiteral(u"\u2713 \U0001F600\n"), QStringLiteral(u"\u00e9")}
                                    << QStringLiteral(u"caf\u00e9 \u2713 \U0001F600\n\u00e9");
    const QString block = QString(3 << 20, u'x') + u'\n';
    QTest::newRow("pieces larger than a block") << QStringList{block, QStringLiteral(u"\u2713"), block} << block + u'\u2713' + block;
    QStringList alternating;
    for (int piece = 0; piece < 3000; ++piece)
        alternating << QStringList{QStringLiteral("ab\n"), QStringLiteral(u"\u2192"), QStringLiteral(u"\u00e9\n\n")}.at(piece % 3);
    QTest::newRow("widths alternating piece by piece") << alternating << alternating.join(QString());
    const QString late = QString(1500, u'a') + u'\u2192' + QString(700, u'b') + u'\n';
    const QString shortLines = QString(3000, u'\n') + QStringLiteral("x\n").repeated(2000);
    QTest::newRow("wide late in a piece, short lines") << QStringList{QStringLiteral("12\n"), late, shortLines, late} << QStringLiteral("12\n") + late + shortLines + late;
}

void TestLogView::showsWhatWasAppended()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, text);
    for (const QString &piece : pieces)
        view->appendText(piece);
    QCOMPARE(view->text(), text);
    QCOMPARE(view->textRange(1, 4), text.mid(1, 3));
    qsizetype start = 0;
    for (const QStringView line : qTokenize(text, u'\n')) {
        QCOMPARE(view->lineStartAt(start + line.size()), start);
        QCOMPARE(view->lineEndAt(start), start + line.size());
        start += line.size() + 1;
    }
}

void TestLogView::replacingStartsAfresh()
{
    view->appendText(QStringLiteral("old"));
    view->selectAll();
    view->replaceText(QStringLiteral("new\n"));
    QCOMPARE(view->text(), QStringLiteral("new\n"));
    QCOMPARE(view->selectedText(), QString());

    // Memory of the text replaced is used again, without a trace of what it held.
    view->appendText(QString(5 << 20, u'o').append(u'\n').repeated(2));
    const QString shorter = QString(3 << 20, u'n') + u'\n';
    view->replaceText(shorter);
    QCOMPARE(view->text(), shorter);
    QCOMPARE(view->lineEndAt(0), shorter.size() - 1);
    QCOMPARE(view->lineStartAt(shorter.size()), shorter.size());
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
        const qsizetype note = view->lineStartAt(view->length());
        ::_exit(shown > 0 && note > shown && view->textRange(shown - lines.size(), shown) == lines
                        && view->textRange(note - 1, view->length()) == QStringLiteral("\nout of memory") ? 0 : 1);
    }
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

void TestLogView::selectsAndCopiesByKeyboard_data()
{
    QTest::addColumn<QKeyCombination>("first");
    QTest::addColumn<QKeyCombination>("second");
    QTest::addColumn<QString>("copied");
    QTest::newRow("select all") << QKeyCombination(Qt::ControlModifier, Qt::Key_A) << QKeyCombination(Qt::NoModifier, Qt::Key_unknown)
                                << QStringLiteral("first line\nsecond line\n");
    QTest::newRow("shift right") << QKeyCombination(Qt::ShiftModifier, Qt::Key_Right) << QKeyCombination(Qt::ShiftModifier, Qt::Key_Right)
                                 << QStringLiteral("fi");
    QTest::newRow("line down") << QKeyCombination(Qt::ShiftModifier, Qt::Key_Down) << QKeyCombination(Qt::ShiftModifier, Qt::Key_End)
                               << QStringLiteral("first line\nsecond line");
}

void TestLogView::selectsAndCopiesByKeyboard()
{
    QFETCH(QKeyCombination, first);
    QFETCH(QKeyCombination, second);
    QFETCH(QString, copied);
    view->appendText(QStringLiteral("first line\nsecond line\n"));
    QApplication::clipboard()->setText(QStringLiteral("before"));
    for (const QKeyCombination keys : {first, second}) {
        if (keys.key() != Qt::Key_unknown)
            QTest::keyClick(view.get(), keys.key(), keys.keyboardModifiers());
    }
    QCOMPARE(view->selectedText(), copied);
    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), copied);
}

void TestLogView::selectsByMouse()
{
    view->appendText(QStringLiteral("alpha beta gamma\ndelta\n"));
    QWidget *area = view->viewport();
    const QPoint from = view->characterRect(6).center() - QPoint(view->characterRect(6).width() / 2 - 1, 0);
    const QPoint to = view->characterRect(19).center();
    QTest::mousePress(area, Qt::LeftButton, {}, from);
    QTest::mouseMove(area, to);
    QTest::mouseRelease(area, Qt::LeftButton, {}, to);
    QCOMPARE(view->selectedText(), QStringLiteral("beta gamma\nde"));
    QTest::mouseDClick(area, Qt::LeftButton, {}, view->characterRect(13).center());
    QCOMPARE(view->selectedText(), QStringLiteral("gamma"));
}

void TestLogView::accessibilityToolsReadTheText()
{
    view->appendText(QStringLiteral("Parsing\nRendering line 1\n"));
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(view.get());
    QVERIFY(accessible != nullptr && accessible->state().readOnly);
    QAccessibleTextInterface *text = accessible->textInterface();
    QVERIFY(text != nullptr);
    QCOMPARE(text->characterCount(), 25);
    QCOMPARE(text->text(0, text->characterCount()), QStringLiteral("Parsing\nRendering line 1\n"));
    int start = -1;
    int end = -1;
    for (const auto &[boundary, offset, expected, from] : {std::tuple(QAccessible::LineBoundary, 10, "Rendering line 1\n", 8),
                                                           std::tuple(QAccessible::WordBoundary, 10, "Rendering", 8),
                                                           std::tuple(QAccessible::SentenceBoundary, 3, "Parsing\n", 0)}) {
        QCOMPARE(text->textAtOffset(offset, boundary, &start, &end), QString::fromLatin1(expected));
        QCOMPARE(std::pair(start, end), std::pair(from, from + static_cast<int>(qstrlen(expected))));
    }
    text->setSelection(0, 8, 17);
    QCOMPARE(view->selectedText(), QStringLiteral("Rendering"));
    QCOMPARE(text->offsetAtPoint(view->viewport()->mapToGlobal(view->characterRect(3).center())), 3);
}

enum Reach { ToTheEnd, EndAndWords, ScrollBarToTheEnd, PageAcross };

void TestLogView::reachesEveryCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reach");
    const QString wide = QStringLiteral(u"a\tb\u6F22\U0001F600e\u0301 ").repeated(3000) + QStringLiteral("two words");
    QTest::newRow("many lines, to the end, across too") << QString(1000, u'-').append(u'\n').repeated(5000) + QStringLiteral("last") << int(ToTheEnd);
    QTest::newRow("one long line, End and words") << wide << int(EndAndWords);
    QTest::newRow("one long line, its scroll bar's end") << wide << int(ScrollBarToTheEnd);
    QTest::newRow("tabs and wide characters, paged across") << wide.first(12000) << int(PageAcross);
}

void TestLogView::reachesEveryCharacter()
{
    QFETCH(QString, text);
    QFETCH(int, reach);
    view->appendText(text);
    QScrollBar *across = view->horizontalScrollBar();
    across->setValue(reach == PageAcross ? 0 : (reach == ScrollBarToTheEnd ? across->maximum() : across->maximum() / 2));
    const auto shown = [&](qsizetype at) { return view->viewport()->rect().contains(view->characterRect(at)); };
    if (reach == ToTheEnd)
        view->scrollToEnd();
    if (reach == EndAndWords) {
        QTest::keyClick(view.get(), Qt::Key_End);
        QTest::keyClick(view.get(), Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(view->selectedText(), QStringLiteral("words"));
    }
    // Page by page from the start, no character may be passed over.
    for (qsizetype next = 0; reach == PageAcross && next < text.size(); across->triggerAction(QAbstractSlider::SliderPageStepAdd)) {
        QVERIFY2(shown(next), qPrintable(QString::number(next)));
        while (next < text.size() && shown(next))
            ++next;
    }
    QVERIFY(shown(text.size() - (reach == ScrollBarToTheEnd ? 1 : 0)));
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
