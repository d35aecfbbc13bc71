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
    void cleanup();
    void showsWhatWasAppended_data();
    void showsWhatWasAppended();
    void replacingStartsAfresh();
    void runningOutOfMemoryKeepsWhatWasShown();
    void selectsAndCopiesByKeyboard_data();
    void selectsAndCopiesByKeyboard();
    void selectsByMouse();
    void accessibilityToolsReadTheText();
    void scrollsToTheEndHoweverLong();

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

void TestLogView::cleanup()
{
    view.reset();
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
    QCOMPARE(view->length(), text.size());
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
    QTest::newRow("word") << QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Right)
                          << QKeyCombination(Qt::NoModifier, Qt::Key_unknown) << QStringLiteral("first ");
    QTest::newRow("line down") << QKeyCombination(Qt::ShiftModifier, Qt::Key_Down) << QKeyCombination(Qt::ShiftModifier, Qt::Key_End)
                               << QStringLiteral("first line\nsecond line");
    QTest::newRow("to the end") << QKeyCombination(Qt::ControlModifier, Qt::Key_End)
                                << QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Home)
                                << QStringLiteral("first line\nsecond line\n");
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
    if (accessible == nullptr)
        QFAIL("the log is not accessible");
    QVERIFY(accessible->state().readOnly);
    QAccessibleTextInterface *text = accessible->textInterface();
    if (text == nullptr)
        QFAIL("the log offers no text");
    QCOMPARE(text->characterCount(), 25);
    QCOMPARE(text->text(0, text->characterCount()), QStringLiteral("Parsing\nRendering line 1\n"));
    int start = -1;
    int end = -1;
    QCOMPARE(text->textAtOffset(10, QAccessible::LineBoundary, &start, &end), QStringLiteral("Rendering line 1\n"));
    QCOMPARE(start, 8);
    QCOMPARE(end, 25);
    QCOMPARE(text->textAtOffset(10, QAccessible::WordBoundary, &start, &end), QStringLiteral("Rendering"));
    text->setSelection(0, 8, 17);
    QCOMPARE(view->selectedText(), QStringLiteral("Rendering"));
    QCOMPARE(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    QCOMPARE(std::pair(start, end), std::pair(8, 17));
    QCOMPARE(text->cursorPosition(), 17);
    QCOMPARE(text->offsetAtPoint(view->viewport()->mapToGlobal(view->characterRect(3).center())), 3);
}

void TestLogView::scrollsToTheEndHoweverLong()
{
    QScrollBar *bar = view->verticalScrollBar();
    for (int chunk = 0; chunk < 50; ++chunk)
        view->appendText(QString(1000, u'-').append(u'\n').repeated(100));
    view->appendText(QStringLiteral("last"));
    QCOMPARE(bar->value(), 0);
    view->scrollToEnd();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(view->viewport()->rect().contains(view->characterRect(view->length() - 1).center()));
    QVERIFY(view->horizontalScrollBar()->maximum() > 0);
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
