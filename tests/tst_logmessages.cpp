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
    void colourIsReadable_data();
    void colourIsReadable();
    void f8GoesFromMessageToMessage();
};

// Each message as 'E' or 'W' followed by its text.
using Found = QStringList;

// As Debian's POV-Ray 3.7 wrote them.
void TestLogMessages::findsTheRenderersMessages_data()
{
    QTest::addColumn<QString>("log");
    QTest::addColumn<Found>("found");
    QTest::newRow("parse error")
        << u"==== [Parsing...] ==========================================================\n"
           "File 'bad.pov' line 4: Parse Error: Expected 'object or directive', undeclared\n"
           " identifier 'foo' found instead\n"
           "Fatal error in parser: Cannot parse input.\n"
           "Render failed\n"_s
        << Found{u"EFile 'bad.pov' line 4: Parse Error: Expected 'object or directive', undeclared\n"
                 " identifier 'foo' found instead"_s,
               u"EFatal error in parser: Cannot parse input."_s};
    QTest::newRow("missing include, #error")
        << u"File 'incl.pov' line 2: Possible Parse Error: Cannot find file 'nosuchfile.inc',\n"
           " even after trying to append file type extension.\n"
           "File 'incl.pov' line 2: Parse Error: Cannot open include file nosuchfile.inc.\n"
           "File 'direc.pov' line 5: Parse Error: Parse halted by #error directive: my own\n"
           " error\n"_s
        << Found{u"WFile 'incl.pov' line 2: Possible Parse Error: Cannot find file 'nosuchfile.inc',\n"
                 " even after trying to append file type extension."_s,
               u"EFile 'incl.pov' line 2: Parse Error: Cannot open include file nosuchfile.inc."_s,
               u"EFile 'direc.pov' line 5: Parse Error: Parse halted by #error directive: my own\n error"_s};
    QTest::newRow("warnings among option listings")
        << u"  Warning Stream to console.......On \n"
           "Warning: Alpha channel output currently not (or not officially) supported with selected output file type.\n"
           "Parser Options\n"
           "Parse Warning: This scene did not contain a #version directive. Please be aware\n"
           " that as of POV-Ray 3.7, unless already specified via an INI option, a #version\n"
           "File 'deprec.pov' line 2: Parse Warning: 'max_intersections' is no longer needed\n"
           " and has no effect in POV-Ray 3.7 or later.\n"
           "----------------------------------------------------------------------------\n"
           "  Antialiasing.........On  (Method 1, Threshold 0.010, Depth 9, Jitter 1.00,\n"
           " Gamma 2.50)\n"_s
        << Found{u"WWarning: Alpha channel output currently not (or not officially) supported with selected output file type."_s,
               u"WParse Warning: This scene did not contain a #version directive. Please be aware\n"
                 " that as of POV-Ray 3.7, unless already specified via an INI option, a #version"_s,
               u"WFile 'deprec.pov' line 2: Parse Warning: 'max_intersections' is no longer needed\n"
                 " and has no effect in POV-Ray 3.7 or later."_s};
    QTest::newRow("a stop, a banner")
        << u"Persistence of Vision(tm) Ray Tracer Version 3.7.0.10.unofficial (g++ @\n"
           " x86_64-pc-linux-gnu)\n"
           "Rendered 36864 of 1920000 pixels (1%)\n"
           "povray: received signal SIGTERM: Termination; requested render cancel\n"
           "Fatal error in renderer: Frontend halted render.\n"
           "Render cancelled by user\n"_s
        << Found{};
    QTest::newRow("last line unended") << u"Parse Warning: assumed_gamma \u2713\n for compat"_s
                                      << Found{u"WParse Warning: assumed_gamma \u2713\n for compat"_s};
}

// Output arrives cut anywhere; a line still arriving never counts more than it will.
void TestLogMessages::findsTheRenderersMessages()
{
    QFETCH(QString, log);
    QFETCH(Found, found);
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
        Found shown;
        for (qsizetype i = 0; i < messages.size(); ++i) {
            const auto [start, end, kind] = messages.at(i);
            shown << (kind == LogMessages::Kind::Error ? u'E' : u'W') + log.sliced(start, end - start);
            QCOMPARE(messages.firstFrom(start - 1), i);
            QCOMPARE(highlights.at(std::size_t(i)).start, start);
            QCOMPARE(highlights.at(std::size_t(i)).end, end);
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
    messages.clear();
    messages.append(u"Warning: y"_s);
    QCOMPARE(messages.warningCount(), 1);
    QCOMPARE(messages.at(0).end, 10);
}

void TestLogMessages::colourIsReadable_data()
{
    QTest::addColumn<QColor>("base");
    QTest::newRow("light") << QPalette().color(QPalette::Base);
    QTest::newRow("dark") << QColor(0x23, 0x26, 0x29);
    QTest::newRow("mid grey, the hardest") << QColor(0x76, 0x76, 0x76);
}

void TestLogMessages::colourIsReadable()
{
    QFETCH(QColor, base);
    LogMessages messages;
    messages.setBackground(base);
    messages.append(u"Warning: w\nParse Error: e\n"_s);
    std::vector<LogHighlight> highlights;
    messages.highlightsIn(0, 20, highlights);
    QCOMPARE(highlights.size(), 2U);
    const QColor warning = highlights[0].format.foreground().color();
    const QColor error = highlights[1].format.foreground().color();
    QVERIFY(warning != error);
    QCOMPARE_GE(ReadableColour::contrast(base, warning), 4.5);
    QCOMPARE_GE(ReadableColour::contrast(base, error), 4.5);
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
    const auto shift = Qt::ShiftModifier;
    for (const auto &[modifier, selected] : {std::pair{Qt::NoModifier, first}, {Qt::NoModifier, second}, {Qt::NoModifier, third},
             {Qt::NoModifier, first}, {shift, third}, {shift, second}}) {
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
