#include "platform/log/LogMessages.h"
#include "platform/log/LogView.h"
#include "platform/log/MessageNavigator.h"
#include "platform/log/ReadableColour.h"
#include "platform/startup/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QPalette>
#include <QTest>

using namespace Qt::StringLiterals;

class TestLogMessages : public QObject
{
    Q_OBJECT

private slots:
    void findsTheRenderersMessages_data();
    void findsTheRenderersMessages();
    void keepsAFloodBounded();
    void colourIsReadable();
    void f8GoesFromMessageToMessage();
};

// The log's lines, each after a mark: E or W opens an error or a warning, | continues it, . is none.
// As Debian's POV-Ray 3.7 wrote them.
void TestLogMessages::findsTheRenderersMessages_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("parse error, missing include, #error")
        << QStringList{u".==== [Parsing...] ===================================================="_s,
               u"EFile 'bad.pov' line 4: Parse Error: Expected 'object or directive', undeclared"_s,
               u"| identifier 'foo' found instead"_s,
               u"WFile 'incl.pov' line 2: Possible Parse Error: Cannot find file 'nosuchfile.inc',"_s,
               u"| even after trying to append file type extension."_s,
               u"EFile 'incl.pov' line 2: Parse Error: Cannot open include file nosuchfile.inc."_s,
               u"EParse Error: Parse halted by #error directive: my own"_s, u"| error"_s,
               u"EFatal error in parser: Cannot parse input."_s, u".Render failed"_s, u"."_s};
    QTest::newRow("warnings among option listings")
        << QStringList{u".  Warning Stream to console.......On "_s,
               u"WWarning: Alpha channel output currently not (or not officially) supported with selected output file type."_s,
               u".Parser Options"_s, u"WParse Warning: This scene did not contain a #version directive. Please be aware"_s,
               u"| that as of POV-Ray 3.7, unless already specified via an INI option, a #version"_s,
               u"WFile 'deprec.pov' line 2: Parse Warning: 'max_intersections' is no longer needed"_s,
               u"| and has no effect in POV-Ray 3.7 or later."_s, u"."_s};
    QTest::newRow("a stop, a banner")
        << QStringList{u".Persistence of Vision(tm) Ray Tracer Version 3.7.0.10.unofficial (g++ @"_s, u". x86_64-pc-linux-gnu)"_s,
               u".Rendered 36864 of 1920000 pixels (1%)"_s, u".povray: received signal SIGTERM: Termination; requested render cancel"_s,
               u".Fatal error in renderer: Frontend halted render."_s, u".Render cancelled by user"_s, u"."_s};
    QTest::newRow("last line unended") << QStringList{u"WParse Warning: assumed_gamma \u2713"_s, u"| for compat"_s};
}

// Output arrives cut anywhere; a line still arriving never counts more than it will.
void TestLogMessages::findsTheRenderersMessages()
{
    QFETCH(QStringList, lines);
    QString log;
    QStringList found;
    for (const QString &line : lines) {
        log += (log.isEmpty() ? u""_s : u"\n"_s) + line.sliced(1);
        if (line[0] == u'|')
            found.last() += u'\n' + line.sliced(1);
        else if (line[0] != u'.')
            found << line;
    }
    const auto errors = found.filter(QRegularExpression(u"^E"_s)).size();
    LogMessages messages;
    for (const qsizetype piece : {log.size(), qsizetype(7), qsizetype(1)}) {
        messages.clear();
        for (qsizetype at = 0; at < log.size(); at += piece) {
            messages.append(QStringView(log).sliced(at, std::min(piece, log.size() - at)));
            QVERIFY(messages.errorCount() <= errors && messages.warningCount() <= found.size() - errors);
        }
        std::vector<LogHighlight> highlights;
        messages.highlightsIn(0, log.size(), highlights);
        QStringList shown;
        for (qsizetype i = 0; i < messages.size(); ++i) {
            const auto [start, end, kind] = messages.at(i);
            shown << (kind == LogMessages::Kind::Error ? u'E' : u'W') + log.sliced(start, end - start);
            QCOMPARE(messages.firstFrom(start - 1), i);
            QCOMPARE(std::pair(highlights.at(std::size_t(i)).start, highlights.at(std::size_t(i)).end), std::pair(start, end));
        }
        QCOMPARE(shown, found);
        QCOMPARE(messages.errorCount(), errors);
        QCOMPARE(messages.warningCount(), found.size() - errors);
    }
}

// A renderer writing millions of warnings has them counted, but costs the log only so much.
void TestLogMessages::keepsAFloodBounded()
{
    LogMessages messages;
    const qsizetype flood = (LogMessages::storedLimit / 1000 + 1) * 1000;
    const QString lines = u"Warning: x\n"_s.repeated(1000);
    for (qsizetype written = 0; written < flood; written += 1000)
        messages.append(lines);
    QCOMPARE(messages.warningCount(), flood);
    QCOMPARE(messages.size(), LogMessages::storedLimit);
}

// Against the default light palette's base, a dark one's, and mid grey, where neither black nor white stands out much.
void TestLogMessages::colourIsReadable()
{
    LogMessages messages;
    messages.append(u"Warning: w\nParse Error: e\n"_s);
    for (const QColor &base : {QPalette().color(QPalette::Base), QColor(0x23, 0x26, 0x29), QColor(0x76, 0x76, 0x76)}) {
        messages.setBackground(base);
        std::vector<LogHighlight> highlights;
        messages.highlightsIn(0, 20, highlights);
        const QColor warning = highlights.at(0).format.foreground().color();
        const QColor error = highlights.at(1).format.foreground().color();
        QVERIFY(warning != error);
        QCOMPARE_GE(ReadableColour::contrast(base, warning), 4.5);
        QCOMPARE_GE(ReadableColour::contrast(base, error), 4.5);
    }
}

// Through the window, as a keyboard user would.
void TestLogMessages::f8GoesFromMessageToMessage()
{
    const MainWindowDefinition definition(u"/nonexistent/povray"_s);
    definition.window().show();
    QVERIFY(QTest::qWaitForWindowActive(&definition.window()));
    LogView &log = *definition.controls().textView;
    const QLabel &count = *definition.controls().messageCount;
    const QString first = u"Parse Warning: assumed_gamma not specified\n for compatibility"_s;
    const QString second = u"File 'bad.pov' line 4: Parse Error: Expected 'object or directive'"_s;
    const QString third = u"Fatal error in parser: Cannot parse input."_s;
    const QString output = u"a\n"_s.repeated(300) + first + u"\n"_s + u"b\n"_s.repeated(300) + second + u"\n"_s + third + u"\nRender failed\n"_s;
    for (qsizetype at = 0; at < output.size(); at += 5)
        definition.controller().appendOutput(output.mid(at, 5));
    QTRY_COMPARE(count.text(), u"2 errors, 1 warning"_s);
    const auto none = Qt::NoModifier;
    for (const auto &[modifier, selected] : {std::pair{none, first}, {none, second}, {none, third}, {none, first},
             {Qt::ShiftModifier, third}, {Qt::ShiftModifier, second}}) {
        QTest::keyClick(&definition.window(), Qt::Key_F8, modifier);
        QCOMPARE(log.selectedText(), selected);
        QCOMPARE(log.cursorPosition(), output.indexOf(selected));
        QVERIFY(log.viewport()->rect().contains(log.characterRect(log.cursorPosition())));
    }
    QVERIFY(log.hasFocus());
    log.replaceText(QString());
    QCOMPARE(count.text(), QString());
    QTest::keyClick(&definition.window(), Qt::Key_F8);
    QCOMPARE(log.selectedText(), QString());
    QCOMPARE(MessageNavigator::countText(1, 0), u"1 error"_s);
    QCOMPARE(MessageNavigator::countText(0, 3), u"3 warnings"_s);
}

QTEST_MAIN(TestLogMessages)
#include "tst_logmessages.moc"
