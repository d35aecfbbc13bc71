#include "progress/ProgressPresentation.h"
#include "progress/RenderProgress.h"

#include <QTest>

using Phase = RenderProgress::Phase;
using std::chrono::milliseconds;

// POV-Ray 3.7's output as Debian's build writes it, fed read by read, one second apart, and again
// one character at a time: both must read the same. The window hands over every line end as '\n'.
class TestRenderProgress : public QObject
{
    Q_OBJECT

private slots:
    void readsEachFormOfTheRenderer_data();
    void readsEachFormOfTheRenderer();
    void estimatesFromThePaceAndChangesOncePerPercent();
    void readsEachLineWhereverItFalls();
};

struct Read
{
    RenderProgress progress;
    int outcomeShownAt = -1; // the read at which it showed; the number of reads when at the end
    int shownChanges = 0;
};

namespace {

Read feed(const QStringList &reads, bool stopped, bool byCharacter)
{
    Read result;
    result.progress.start(milliseconds(0));
    const auto note = [&](RenderProgress::Changes changes, int at) {
        result.shownChanges += changes.shown ? 1 : 0;
        if (changes.outcomeShown && result.outcomeShownAt >= 0)
            qFatal("the outcome showed twice");
        if (changes.outcomeShown)
            result.outcomeShownAt = at;
    };
    for (int at = 0; at < reads.size(); ++at) {
        const milliseconds now((at + 1) * 1000);
        if (!byCharacter)
            note(result.progress.feed(reads[at], now), at);
        for (qsizetype i = 0; byCharacter && i < reads[at].size(); ++i)
            note(result.progress.feed(QStringView(reads[at]).sliced(i, 1), now), at);
    }
    if (stopped)
        result.progress.noteStopped();
    return result;
}

} // namespace

void TestRenderProgress::readsEachFormOfTheRenderer_data()
{
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QString>("running"); // the text, then " | " and the window title, at the last read
    QTest::addColumn<QString>("after"); // the text once the output ended
    QTest::addColumn<int>("outcomeShownAt");
    QTest::addColumn<RenderOutcome>("outcome");

    const QString banner = QStringLiteral("==== [Rendering...] ========================================================\n");
    QTest::newRow("tokens split across reads")
        << QStringList{"==== [Parsing...] ==========\n", "Parsing 24", "18K tokens\rParsing 4494K tokens\r"} << false
        << "Parsing · 4494K tokens · 0:03 elapsed | Kilnlight" << "Ended after 0:03" << 3 << RenderOutcome::Ended;
    QTest::newRow("photons after the rendering banner")
        << QStringList{banner + "Photon count 226002\n", "Photon count 682802\n"} << false
        << "Shooting photons · 682802 · 0:02 elapsed | Kilnlight" << "Ended after 0:02" << 2 << RenderOutcome::Ended;
    QTest::newRow("pretrace as 3.7 documents it")
        << QStringList{banner, "Performing radiosity pretrace: 512 of 4800 pixels (10%)\r"} << false
        << "Radiosity pretrace 10% · 0:02 elapsed | Kilnlight" << "Ended after 0:02" << 2 << RenderOutcome::Ended;
    // Debian's build writes its pretrace passes as Rendered lines; threads report out of order.
    QTest::newRow("pretrace passes, then the render, then the end")
        << QStringList{banner + "Rendered 300000 of 307200 pixels (97%)\r", "Rendered 1024 of 307200 pixels (0%)\rRendered 46080 of 307200 pixels (15%)\r",
                       "Rendered 45900 of 307200 pixels (14%)\r"}
        << false << "Rendering 15% · 0:03 elapsed | 15% – Kilnlight" << "Ended after 0:03" << 3 << RenderOutcome::Ended;
    QTest::newRow("finished without a display")
        << QStringList{banner + "Rendered 75776 of 76800 pixels (98%)\rRendered 76800 of 76800 pixels (100%)\r\n",
                       "Render Statistics\r\nImage Resolution 320 x 240\n", "  Trace Time:       0 hours\nPOV-Ray finished\n"}
        << false << "Rendering 100% · 0:03 elapsed | 100% – Kilnlight" << "Finished in 0:03" << 3 << RenderOutcome::Finished;
    QTest::newRow("pause with a display, then the preview closed")
        << QStringList{banner + "Rendered 76800 of 76800 pixels (100%)\r\n", "==== [Paused] ======\nPress a key or click the display to continue...",
                       "\n\nPOV-Ray finished\n\n"}
        << false << "Done · waiting for the preview to be closed | Kilnlight" << "Finished in 0:02" << 1 << RenderOutcome::Finished;
    QTest::newRow("stopped at the pause")
        << QStringList{"==== [Paused] ======\nPress a key or click the display to continue...",
                       "povray: received signal SIGTERM: Termination; requested render cancel\n\n\nPOV-Ray finished\n\n"}
        << true << "Done · waiting for the preview to be closed | Kilnlight" << "Finished in 0:01" << 0 << RenderOutcome::Finished;
    QTest::newRow("failed parse")
        << QStringList{"==== [Parsing...] ==========\nFile '/tmp/bad.pov' line 4: Parse Error: No matching } in 'sphere', box\n found instead\n",
                       "Fatal error in parser: Cannot parse input.\n", "Render failed\n"}
        << false << "Parsing · 0:03 elapsed | Kilnlight" << "Failed after 0:03" << 2 << RenderOutcome::Failed;
    QTest::newRow("missing include, its failure split")
        << QStringList{"File 'a.pov' line 2: Parse Error: Cannot open include file\n doesnotexist.inc.\nFatal error in parser: Cannot parse input.\nRender fail",
                       "ed\n"}
        << false << "Running · 0:02 elapsed | Kilnlight" << "Failed after 0:02" << 1 << RenderOutcome::Failed;
    QTest::newRow("stopped mid-render")
        << QStringList{banner + "Rendered 1715200 of 1920000 pixels (89%)\r",
                       "\nFatal error in renderer: Frontend halted render.\nRender cancelled by user\n"}
        << true << "Rendering 89% · 0:02 elapsed | 89% – Kilnlight" << "Stopped at 89% after 0:02" << 2 << RenderOutcome::Stopped;
    // Nothing after the first 96 characters of a line counts, and a line without its end counts at the end.
    QTest::newRow("nothing understood; huge line; last line unended")
        << QStringList{"Rendered 3 frames over 2 seconds (1.5 FPS)\r", QString(500000, u'x') + "Render failed\nRendered 9", "99999999999999999 of 2 pixels\n",
                       "Rendered 1 of 0 pixels\nPOV-Ray finished"}
        << false << "Running · 0:04 elapsed | Kilnlight" << "Finished in 0:04" << 4 << RenderOutcome::Finished;
}

void TestRenderProgress::readsEachFormOfTheRenderer()
{
    QFETCH(QStringList, reads);
    QFETCH(bool, stopped);
    QFETCH(QString, running);
    QFETCH(QString, after);
    QFETCH(int, outcomeShownAt);
    QFETCH(RenderOutcome, outcome);
    for (const bool byCharacter : {false, true}) {
        Read read = feed(reads, stopped, byCharacter);
        const milliseconds last(reads.size() * 1000);
        const ProgressPresentation whileRunning = ProgressPresentation::of(read.progress, last);
        QCOMPARE(whileRunning.text + " | " + whileRunning.windowTitle, running);
        if (read.progress.finish(last).outcomeShown)
            read.outcomeShownAt = static_cast<int>(reads.size());
        QCOMPARE(read.outcomeShownAt, outcomeShownAt);
        QCOMPARE(read.progress.outcome(), outcome);
        const ProgressPresentation ended = ProgressPresentation::of(read.progress, last + milliseconds(5000));
        QCOMPARE(ended.text + " | " + ended.windowTitle, after + " | Kilnlight");
        QVERIFY(ended.visible && ended.maximum == 100);
    }
}

void TestRenderProgress::estimatesFromThePaceAndChangesOncePerPercent()
{
    RenderProgress progress;
    QVERIFY(!ProgressPresentation::of(progress, milliseconds(0)).visible);
    progress.start(milliseconds(10000));
    const auto textAt = [&](int ms, const QString &output) {
        progress.feed(output, milliseconds(ms));
        return ProgressPresentation::of(progress, milliseconds(ms)).text;
    };
    QCOMPARE(textAt(11000, "Rendered 1000 of 10000 pixels (10%)\r"), "Rendering 10% · 0:01 elapsed");
    QCOMPARE(textAt(12999, "Rendered 4998 of 10000 pixels (49%)\r"), "Rendering 49% · 0:02 elapsed");
    QCOMPARE(textAt(13000, "Rendered 5000 of 10000 pixels (50%)\r"), "Rendering 50% · 0:03 elapsed · about 0:02 left");
    QCOMPARE(textAt(14600, ""), "Rendering 50% · 0:04 elapsed · about 0:00 left");
    QCOMPARE(ProgressPresentation::of(progress, milliseconds(9000)).text, "Rendering 50% · 0:00 elapsed · about 0:06 left");

    progress.start(milliseconds(0));
    int changes = 0;
    for (int pixel = 0; pixel <= 76800; pixel += 256)
        changes += progress.feed(QStringLiteral("Rendered %1 of 76800 pixels (x%)\r").arg(pixel), milliseconds(pixel)).shown ? 1 : 0;
    QCOMPARE(changes, 101);
    QCOMPARE(progress.renderedFraction(), 1.0);

    progress.start(milliseconds(0));
    progress.noteLaunchFailed();
    QVERIFY(progress.finish(milliseconds(3723000)).outcomeShown);
    QCOMPARE(ProgressPresentation::of(progress, milliseconds(0)).text, "Failed after 1:02:03");
    QCOMPARE(ProgressPresentation::duration(milliseconds(599999)), "9:59");
}

// Long stretches are searched many characters at a time: every character that may start a line
// worth reading must be found at every place in a stretch, after ASCII and after wider text.
void TestRenderProgress::readsEachLineWhereverItFalls()
{
    struct Line
    {
        QString before; // fed first, in a read of its own
        QString line;
        Phase phase;
        RenderOutcome outcome;
        int figure; // the percentage, or else the count
    };
    const QString parsing = QStringLiteral("==== [Parsing...] ===\n");
    const QList<Line> lines{
        {{}, parsing, Phase::Parsing, RenderOutcome::Ended, 0},
        {{}, "Parsing 12K tokens\r", Phase::Parsing, RenderOutcome::Ended, 12}, // found by its carriage return
        {parsing, "Parsing 34K tokens\n", Phase::Parsing, RenderOutcome::Ended, 34}, // by its start, as parsing runs
        {"==== [Rendering...] ===\n", "Rendered 5 of 10 pixels (50%)\r", Phase::Rendering, RenderOutcome::Ended, 50},
        {{}, "==== [Paused] ===\n", Phase::WaitingForPreview, RenderOutcome::Finished, 0},
        {{}, "Fatal error in parser: Cannot parse input.\n", Phase::Starting, RenderOutcome::Failed, 0},
        {{}, "Render failed\n", Phase::Starting, RenderOutcome::Failed, 0},
        {{}, "POV-Ray finished\n", Phase::Starting, RenderOutcome::Finished, 0},
    };
    const QString filler = QStringLiteral("abcdefghijklmnopqrstuvwxyz éÆÒ水 0123456789:;<>?@[]").repeated(4);
    for (const Line &expected : lines) {
        for (qsizetype length = 0; length < 140; ++length) {
            RenderProgress progress;
            progress.start(milliseconds(0));
            progress.feed(expected.before, milliseconds(1));
            progress.feed(filler.first(length) + u'\n' + expected.line + filler, milliseconds(2));
            QCOMPARE(progress.phase(), expected.phase);
            QCOMPARE(progress.outcome(), expected.outcome);
            QCOMPARE(progress.percent().value_or(static_cast<int>(progress.count())), expected.figure);
        }
    }
}

QTEST_MAIN(TestRenderProgress)
#include "tst_renderprogress.moc"
