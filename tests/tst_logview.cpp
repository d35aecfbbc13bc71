#include "platform/LogView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

class TestLogView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void showsWhatWasAppended_data();
    void showsWhatWasAppended();
    void replacingStartsAfresh();
    void linesAreFoundByPosition();
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
    QTest::newRow("lone CR is a line break") << QStringList{QStringLiteral("10%\r20%\r")} << QStringLiteral("10%\n20%\n");
    QTest::newRow("CR LF is one") << QStringList{QStringLiteral("a\r\nb\r\n")} << QStringLiteral("a\nb\n");
    QTest::newRow("CR LF split between pieces") << QStringList{QStringLiteral("a\r"), QStringLiteral("\nb")} << QStringLiteral("a\nb");
    QTest::newRow("LF after a CR-free piece stays") << QStringList{QStringLiteral("a\r"), QStringLiteral("b"), QStringLiteral("\nc")}
                                                    << QStringLiteral("a\nb\nc");
    QTest::newRow("beyond Latin-1") << QStringList{QStringLiteral(u"caf\u00e9 "), QStringLiteral(u"\u2713 \U0001F600\n"), QStringLiteral("ok")}
                                    << QStringLiteral(u"caf\u00e9 \u2713 \U0001F600\nok");
    const QString block = QString(3 << 20, u'x') + u'\n';
    QTest::newRow("pieces larger than a block") << QStringList{block, QStringLiteral(u"\u2713"), block} << block + u'\u2713' + block;
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
}

void TestLogView::replacingStartsAfresh()
{
    view->appendText(QStringLiteral("old\r"));
    view->selectAll();
    view->replaceText(QStringLiteral("new\r\n"));
    QCOMPARE(view->text(), QStringLiteral("new\n"));
    QCOMPARE(view->selectedText(), QString());
    view->appendText(QStringLiteral("\nx"));
    QCOMPARE(view->text(), QStringLiteral("new\n\nx"));

    // Memory of the text replaced is used again, without a trace of what it held.
    view->appendText(QString(5 << 20, u'o').append(u'\n').repeated(2));
    const QString shorter = QString(3 << 20, u'n') + u'\n';
    view->replaceText(shorter);
    QCOMPARE(view->text(), shorter);
    QCOMPARE(view->lineEndAt(0), shorter.size() - 1);
    QCOMPARE(view->lineStartAt(shorter.size()), shorter.size());
}

void TestLogView::linesAreFoundByPosition()
{
    QString text;
    for (int line = 0; line < 300000; ++line)
        text += QString::number(line) + u'\n';
    view->appendText(text);
    for (const int line : {0, 1, 99999, 262143, 262144, 299999}) {
        const qsizetype start = text.indexOf(u'\n' + QString::number(line) + u'\n') + 1;
        const qsizetype at = line == 0 ? 0 : start;
        QCOMPARE(view->lineStartAt(at + 1), at);
        QCOMPARE(view->lineEndAt(at), text.indexOf(u'\n', at));
    }
    QCOMPARE(view->lineStartAt(text.size()), text.size());
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
    view->appendText(QStringLiteral("Parsing\rRendering line 1\n"));
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
