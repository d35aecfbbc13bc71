#include "platform/log/FindBar.h"
#include "platform/log/LogView.h"
#include "platform/startup/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFindBar : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void findsFromTheKeyboard();
    void followsTheLog();
    void startsAtACaretTheBarWouldCover();

private:
    std::unique_ptr<MainWindowDefinition> definition;
    LogView *log = nullptr;
    FindBar *bar = nullptr;
    QLineEdit *field = nullptr;
};

void TestFindBar::init()
{
    definition = std::make_unique<MainWindowDefinition>(u"/nonexistent/povray"_s);
    log = definition->controls().textView;
    bar = definition->controls().findBar;
    field = bar->findChild<QLineEdit *>();
    definition->window().show();
    QVERIFY(QTest::qWaitForWindowActive(&definition->window()));
    log->replaceText(u"Error one\nerror two\nERROR three\n"_s);
    log->setFocus();
}

void TestFindBar::findsFromTheKeyboard()
{
    QVERIFY(bar->isHidden());
    QTest::keyClick(&definition->window(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(bar->isVisible());
    QVERIFY(field->hasFocus());
    QTest::keyClicks(field, u"error"_s);

    struct Step
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        qsizetype selected;
        QString said; // the field's description, which screen readers read with it
    };
    const std::vector<Step> steps{
        {Qt::Key_unknown, {}, 0, u"1 of 3"_s},
        {Qt::Key_Return, {}, 10, u"2 of 3"_s},
        {Qt::Key_F3, {}, 20, u"3 of 3"_s},
        {Qt::Key_F3, {}, 0, u"1 of 3, Wrapped to the top"_s},
        {Qt::Key_F3, Qt::ShiftModifier, 20, u"3 of 3, Wrapped to the bottom"_s},
        {Qt::Key_Enter, Qt::ShiftModifier, 10, u"2 of 3"_s},
    };
    for (const Step &step : steps) {
        if (step.key != Qt::Key_unknown)
            QTest::keyClick(field, step.key, step.modifiers);
        QCOMPARE(log->selectionStart(), step.selected);
        QCOMPARE(log->selectedText().toLower(), u"error"_s);
        QCOMPARE(field->accessibleDescription(), step.said);
    }
    bar->findChild<QCheckBox *>()->click();
    QCOMPARE(log->selectedText(), u"error"_s);
    QCOMPARE(bar->status(), u"1 of 1"_s);
    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(bar->isHidden());
    QVERIFY(log->hasFocus());
}

void TestFindBar::followsTheLog()
{
    bar->open();
    QTest::keyClicks(field, u"one"_s);
    QCOMPARE(bar->status(), u"1 of 1"_s);
    log->appendText(u"and one more: o"_s);
    log->appendText(u"ne\n"_s);
    QTRY_COMPARE(bar->status(), u"1 of 3"_s);
    std::vector<LogHighlight> shown;
    bar->highlightsIn(0, log->length(), shown);
    QCOMPARE(shown.size(), 3U);
    QCOMPARE(log->textRange(shown.back().start, shown.back().end), u"one"_s);

    log->replaceText(u"none\nno match\ngone"_s);
    QTRY_COMPARE(bar->status(), u"2 matches"_s);
    log->replaceText(u"nothing"_s);
    QTRY_COMPARE(bar->status(), u"No matches"_s);
    bar->dismiss();
    log->replaceText(u"one"_s);
    shown.clear();
    bar->highlightsIn(0, log->length(), shown);
    QVERIFY(shown.empty());
}

void TestFindBar::startsAtACaretTheBarWouldCover()
{
    QString text;
    for (int line = 0; line < 200; ++line)
        text += u"line %1 error\n"_s.arg(line);
    log->replaceText(text);
    const qsizetype caret = log->lineStartAt(log->positionAt(QPoint(0, log->viewport()->height() - log->fontMetrics().height())));
    log->setSelection(caret, caret);
    QVERIFY(caret > 0 && log->viewport()->rect().contains(log->characterRect(caret)));
    QTest::keyClick(&definition->window(), Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(field, u"error"_s);
    QCOMPARE(log->lineStartAt(log->selectionStart()), caret);
    QVERIFY(log->viewport()->rect().contains(log->characterRect(log->selectionStart())));
}

QTEST_MAIN(TestFindBar)
#include "tst_findbar.moc"
