// Measures how Kilnlight keeps pace with its renderer, each figure against a baseline taken in the
// same run so that a busy machine moves both. Run through scripts/bench; --help lists the options.

#include "bench/BenchWindow.h"
#include "bench/CopyServeBench.h"
#include "bench/FindBench.h"
#include "bench/HighlightedRepaintBench.h"
#include "bench/LogViewBench.h"
#include "bench/ProgressBench.h"
#include "bench/SaveBench.h"
#include "bench/StopBench.h"
#include "platform/process/ChildProcess.h"

#include <QAccessible>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr qint64 mebibyte = qint64{1024} * 1024;

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

template<typename T>
T smallest(const std::vector<T> &values)
{
    return *std::ranges::min_element(values);
}

template<typename T>
T median(std::vector<T> values)
{
    std::ranges::sort(values);
    return values.at(values.size() / 2);
}

// The limit for moving output: the child writes into the same kind of pipe the application uses,
// and a plain loop reads it into nothing.
Clock::duration pipeToNothing(const QByteArrayList &arguments)
{
    OutputPipe pipe = OutputPipe::create();
    const int readEnd = pipe.readEnd.get();
    ChildProcess child;
    QByteArray buffer(mebibyte, Qt::Uninitialized);
    const auto start = Clock::now();
    child.launch(arguments, std::move(pipe.writeEnd));
    for (;;) {
        const ssize_t count = ::read(readEnd, buffer.data(), static_cast<size_t>(buffer.size()));
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR))
            break;
        if (count < 0) {
            pollfd readable{readEnd, POLLIN, 0};
            ::poll(&readable, 1, -1);
        }
    }
    const auto elapsed = Clock::now() - start;
    child.waitForExit(Clock::now() + std::chrono::seconds(10));
    return elapsed;
}

// How long stopping takes without the application: SIGTERM, the pipe read to its end, the child reaped.
Clock::duration stopDirectly(const QByteArrayList &arguments, qint64 readBeforeStop)
{
    OutputPipe pipe = OutputPipe::create();
    const int readEnd = pipe.readEnd.get();
    ChildProcess child;
    child.launch(arguments, std::move(pipe.writeEnd));
    QByteArray buffer(mebibyte, Qt::Uninitialized);
    qint64 total = 0;
    while (total < readBeforeStop) {
        pollfd readable{readEnd, POLLIN, 0};
        ::poll(&readable, 1, -1);
        const ssize_t count = ::read(readEnd, buffer.data(), static_cast<size_t>(buffer.size()));
        if (count == 0)
            break;
        total += std::max<ssize_t>(count, 0);
    }
    const auto start = Clock::now();
    child.signal(SIGTERM, ChildProcess::Reach::WholeGroup);
    for (;;) {
        pollfd readable{readEnd, POLLIN, 0};
        ::poll(&readable, 1, -1);
        const ssize_t count = ::read(readEnd, buffer.data(), static_cast<size_t>(buffer.size()));
        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR))
            break;
    }
    child.waitForExit(Clock::now() + std::chrono::seconds(10));
    return Clock::now() - start;
}

// From process start to its first window painted, as the probe inside reports it.
Clock::duration startUp(const QString &program)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto start = Clock::now();
    process.start(program, {});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        qFatal("%s did not start and quit cleanly", qPrintable(program));
    const qint64 shown = process.readAllStandardOutput().trimmed().toLongLong();
    return Clock::duration(shown) - start.time_since_epoch();
}

void printLine(const QString &line)
{
    QTextStream(stdout) << line << Qt::endl;
}

void printFigure(const char *figure, const QString &measured, const QString &baseline, double value, double target,
                 const char *unit)
{
    printLine(QString::asprintf("%-26s %-26s %-36s %8.3f%-3s (target <= %g%s) %s", figure, qPrintable(measured),
                                qPrintable(baseline), value, unit, target, unit, value <= target ? "met" : "MISSED"));
}

QString seconds(Clock::duration duration)
{
    return QStringLiteral("%1 s").arg(milliseconds(duration) / 1000, 0, 'f', 3);
}

QString mib(double bytes)
{
    return QStringLiteral("%1 MiB").arg(bytes / static_cast<double>(mebibyte), 0, 'f', 1);
}

// What the log is fed with, read by read: lines of plain ASCII, the same alternating with lines of
// other scripts, or a log of nothing but line ends.
QByteArrayList feedReads(const QString &kind)
{
    const QByteArray ascii = "Parsing object 0123456789 of the scene: every byte counts, every line is eighty\n";
    if (kind == QLatin1String("mixed"))
        return {ascii, "Trace \xE2\x86\x92 ray hits the sphere \xE2\x80\x94 \xCE\xA3 weights \xE2\x89\x88 0.95, caf\xC3\xA9 \xE2\x9C\x93\n"};
    if (kind == QLatin1String("empty-lines"))
        return {QByteArray(mebibyte, '\n')};
    return {ascii};
}

struct Fed
{
    Clock::duration elapsed{};
    qint64 shown = 0;
    qint64 peakGrowth = 0;
};

// One fed log in a process of its own, so that its peak memory is its own.
Fed feedInFreshProcess(const QString &kind, qint64 bytes)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--feed"), kind, QStringLiteral("--feed-bytes"), QString::number(bytes)});
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        qFatal("feeding %s did not finish cleanly", qPrintable(kind));
    const QList<QByteArray> figures = process.readAllStandardOutput().trimmed().split(' ');
    return {Clock::duration(figures.value(0).toLongLong()), figures.value(1).toLongLong(), figures.value(2).toLongLong()};
}

double perUnit(const Fed &fed)
{
    return static_cast<double>(fed.peakGrowth) / static_cast<double>(std::max<qint64>(fed.shown, 1));
}

void printGap(const QString &figure, const QString &measured, LogViewBench::Duration gap)
{
    printFigure(qPrintable(figure), measured, QStringLiteral("longest main-loop gap"), milliseconds(gap), 16, "ms");
}

// What a user does in a huge log and in one huge line must not freeze the window.
void printViewFigures(qint64 logBytes, qint64 lineBytes)
{
    LogViewBench bench;
    const QString line = QStringLiteral("Parsing object 0123456789 of the scene: every byte counts, every line is eighty ");
    struct Text
    {
        const char *name;
        QString piece;
        qint64 units;
    };
    const std::array texts{Text{"log", line.trimmed() + u'\n', logBytes}, Text{"line", line, lineBytes}};
    for (const auto &text : texts) {
        bench.fill(text.piece, text.units);
        const QString size = mib(static_cast<double>(bench.view().length()));
        const qsizetype middle = bench.view().length() / 2 + 3;
        const auto placed = [&](const char *action) {
            bench.placeCursor(middle);
            return QStringLiteral("%1 %2, %3").arg(QLatin1String(action), QLatin1String(text.name), size);
        };
        printGap(QStringLiteral("10 End"), placed("End in the"), bench.press(QKeyCombination(Qt::NoModifier, Qt::Key_End)));
        printGap(QStringLiteral("10 Ctrl+Right"), placed("Ctrl+Right in the"), bench.press(QKeyCombination(Qt::ControlModifier, Qt::Key_Right)));
        printGap(QStringLiteral("10 double-click"), placed("word in the"), bench.doubleClickAtCursor());
        printGap(QStringLiteral("10 accessible word"), placed("word query in the"), bench.accessibleWordAtCursor());
    }
    bench.fill(texts[0].piece, texts[0].units);
    printGap(QStringLiteral("11 copy all"), QStringLiteral("Ctrl+C of %1").arg(mib(static_cast<double>(bench.view().length()))), bench.copyAll());
    const SaveBench::Figures saved = SaveBench::save(bench.view());
    printFigure("13 save log", seconds(saved.elapsed) + QStringLiteral(" for ") + mib(static_cast<double>(saved.bytes)),
                QStringLiteral("one write and sync ") + seconds(saved.plainWrite), milliseconds(saved.elapsed), 2000, "ms");
    printFigure("13 save log", QStringLiteral("while saving"), QStringLiteral("idle loop %1 ms").arg(milliseconds(saved.idleGap), 0, 'f', 1),
                milliseconds(saved.longestGap), 16, "ms");
    constexpr int rows = 26;
    bench.setRows(rows);
    const std::array scripts{Text{"emoji", QStringLiteral(u"\U0001F600\U0001F680\U0001F525 ok \U0001F44D\U0001F3FD ").repeated(12) + u'\n', 0},
                             Text{"mixed-direction", QStringLiteral(u"line \u05E9\u05DC\u05D5\u05DD 42 \u0645\u0631\u062D\u0628\u0627 end ").repeated(6) + u'\n', 0}};
    for (const auto &script : scripts) {
        bench.fill(script.piece, script.piece.size() * rows);
        printGap(QStringLiteral("11 repaint"), QStringLiteral("%1 rows of %2 text").arg(rows).arg(QLatin1String(script.name)), bench.repaint());
        printGap(QStringLiteral("11 highlighted repaint"), QStringLiteral("%1 rows of %2 text").arg(rows).arg(QLatin1String(script.name)),
                 HighlightedRepaintBench::repaint(script.piece, rows));
    }
}

// The flood again, on a real display with an accessibility tool's bus listening: the log must
// keep pace while it tells the tool what arrived.
void printAccessibleIngest(const QString &scenePath, qint64 floodBytes, int repeats)
{
    const QByteArrayList floodArguments{FLOOD_RENDERER};
    BenchWindow window(QStringLiteral(FLOOD_RENDERER), scenePath);
    qputenv("BENCH_FLOOD_BYTES", "100000");
    window.render();
    // The bridge to the accessibility bus comes up once the main loop has run.
    if (!QAccessible::isActive() || QGuiApplication::platformName() != QLatin1String("xcb"))
        qFatal("run with QT_QPA_PLATFORM=xcb and QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 on an accessibility bus");
    qputenv("BENCH_FLOOD_BYTES", QByteArray::number(floodBytes));
    std::vector<Clock::duration> limits;
    std::vector<Clock::duration> elapsed;
    for (int run = 0; run < repeats; ++run) {
        limits.push_back(pipeToNothing(floodArguments));
        elapsed.push_back(window.render().elapsed);
    }
    printFigure("12 accessible ingest (xcb)", seconds(smallest(elapsed)) + QStringLiteral(" for ") + mib(static_cast<double>(floodBytes)),
                QStringLiteral("pipe to nothing ") + seconds(smallest(limits)), milliseconds(smallest(elapsed)) / milliseconds(smallest(limits)), 4, "x");
}

// Another program pastes the whole huge log from the clipboard, on X.
void printServedCopy(qint64 logBytes)
{
    LogViewBench bench;
    bench.fill(QStringLiteral("Parsing object 0123456789 of the scene: every byte counts, every line is eighty\n"), logBytes);
    const CopyServeBench::Figures served = CopyServeBench::serve(bench.view());
    const QString pasted = QStringLiteral("xclip -o of %1").arg(mib(static_cast<double>(served.bytes)));
    printFigure("15 serve copy (xcb)", pasted, QStringLiteral("idle loop %1 ms").arg(milliseconds(served.idleGap), 0, 'f', 1),
                milliseconds(served.built.longestGap), 16, "ms");
    printLine(QStringLiteral("   pasted in %1 once encoded; pasted before then: %2, longest gap %3 ms")
                  .arg(seconds(served.built.elapsed), seconds(served.early.elapsed))
                  .arg(milliseconds(served.early.longestGap), 0, 'f', 1));
}

void printStop(const char *figure, const StopBench::Stop &stop)
{
    printFigure(figure, StopBench::describe(stop), QStringLiteral("idle loop %1 ms").arg(milliseconds(stop.idleGap), 0, 'f', 1),
                milliseconds(stop.longestGap), 16, "ms");
}

// Reading progress, on and off: the flood through the window, and the main thread's time for log
// lines and for POV-Ray's progress lines fed in-process. The preferences in HOME name a scene.
void printProgressFigures(qint64 floodBytes, qint64 progressBytes)
{
    qputenv("BENCH_FLOOD_BYTES", QByteArray::number(floodBytes));
    const ProgressBench::Medians flooded = ProgressBench::render(QStringLiteral(FLOOD_RENDERER), 5);
    printFigure("17 ingest, progress read", seconds(flooded.reading) + QStringLiteral(" for ") + mib(static_cast<double>(floodBytes)),
                QStringLiteral("progress not read ") + seconds(flooded.notReading), milliseconds(flooded.reading) / milliseconds(flooded.notReading), 1.05, "x");
    for (const auto flood : {ProgressBench::Flood::LogLines, ProgressBench::Flood::ProgressLines}) {
        const ProgressBench::Medians progress = ProgressBench::ingest(flood, progressBytes, 5);
        printFigure(flood == ProgressBench::Flood::LogLines ? "17 main thread, log lines" : "17 main thread, progress",
                    seconds(progress.reading) + QStringLiteral(" CPU, ") + mib(static_cast<double>(progressBytes)),
                    QStringLiteral("progress not read ") + seconds(progress.notReading), milliseconds(progress.reading) / milliseconds(progress.notReading), 1.05, "x");
    }
}

// Stops of Debian's POV-Ray at 1600x1200, and of a renderer deaf to SIGTERM, must not freeze the window.
void printStopFigures(const QString &povray, const QString &sceneSource, const QDir &scratch, int repeats)
{
    const QString scene = scratch.filePath(QStringLiteral("stop.pov"));
    QFile ini(scratch.filePath(QStringLiteral("stop.ini")));
    if (!QFile::copy(sceneSource, scene) || !ini.open(QIODevice::WriteOnly) || ini.write("Display=Off\n") < 0)
        qFatal("cannot write %s", qPrintable(scratch.path()));
    ini.close();
    qputenv("POVINI", ini.fileName().toUtf8());
    if (!povray.isEmpty()) {
        StopBench stopping(povray, scene);
        stopping.setImage(QStringLiteral("1600"), QStringLiteral("1200"));
        for (const bool waiting : {true, false})
            printStop(waiting ? "16 Stop, output waiting" : "16 Stop, none waiting", stopping.worstStop(QStringLiteral("Rendered "), waiting, repeats));
    }
    StopBench deaf(StopBench::writeDeafRenderer(scratch.path()), scene);
    printStop("16 Stop, deaf to SIGTERM", deaf.worstStop(QStringLiteral("Rendered "), true, 1));
}

void printFindFigures(qint64 logBytes)
{
    FindBench bench(logBytes);
    const FindBench::Figures find = bench.typeWord();
    const QString log = QStringLiteral("a word typed, ") + mib(static_cast<double>(find.logUnits));
    printGap(QStringLiteral("14 find, typing"), log, find.longestGap);
    printFigure("14 find, first match", QStringLiteral("%1 MiB from the caret").arg(static_cast<double>(find.distance) / mebibyte, 0, 'f', 1),
                QStringLiteral("from the first key"), milliseconds(find.firstMatch), 50, "ms");
    printFigure("14 find, count", find.status, QStringLiteral("from the last key"), milliseconds(find.count), 1000, "ms");
}

} // namespace

int main(int argc, char *argv[])
{
    const QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kilnlight's performance figures, each against a baseline of the same run."));
    parser.addHelpOption();
    const QCommandLineOption floodOption(QStringLiteral("flood-mib"), QStringLiteral("Size of the output flood."), QStringLiteral("MiB"), QStringLiteral("256"));
    const QCommandLineOption repeatOption(QStringLiteral("repeats"), QStringLiteral("Runs per timed figure; the best counts."), QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption povrayOption(QStringLiteral("povray"), QStringLiteral("POV-Ray for the real render; empty skips it."), QStringLiteral("path"), QStringLiteral("/usr/bin/povray"));
    const QCommandLineOption sceneOption(QStringLiteral("scene"), QStringLiteral("Scene for the real render."), QStringLiteral("file"), QStringLiteral(DEMO_SCENE));
    const QCommandLineOption mixedOption(QStringLiteral("mixed-mib"), QStringLiteral("Size of the mixed-script flood, one line a read."), QStringLiteral("MiB"), QStringLiteral("32"));
    const QCommandLineOption linesOption(QStringLiteral("empty-lines"), QStringLiteral("Lines of the log of empty lines."), QStringLiteral("n"), QStringLiteral("20000000"));
    const QCommandLineOption feedOption(QStringLiteral("feed"), QStringLiteral("Internal: feed one log of this kind here and print its figures."), QStringLiteral("kind"));
    const QCommandLineOption feedBytesOption(QStringLiteral("feed-bytes"), QStringLiteral("Internal: bytes to feed."), QStringLiteral("n"));
    const QCommandLineOption lineOption(QStringLiteral("line-mb"), QStringLiteral("Size of the one huge line."), QStringLiteral("MB"), QStringLiteral("500"));
    const QCommandLineOption progressOnlyOption(QStringLiteral("progress"), QStringLiteral("Only the figures of reading progress."));
    const QCommandLineOption progressOption(QStringLiteral("progress-mib"), QStringLiteral("Size of the flood of progress lines."), QStringLiteral("MiB"), QStringLiteral("64"));
    const QCommandLineOption findOption(QStringLiteral("find"), QStringLiteral("Only the find figures."));
    const QCommandLineOption accessibleOption(QStringLiteral("accessible"), QStringLiteral("Only the flood with accessibility active, on X."));
    const QCommandLineOption serveOption(QStringLiteral("serve-copy"), QStringLiteral("Only a copy pasted by xclip, on X."));
    const QCommandLineOption stopsOption(QStringLiteral("stops"), QStringLiteral("Only the figures of stopping a render."));
    parser.addOptions({floodOption, repeatOption, povrayOption, sceneOption, mixedOption, linesOption, feedOption, feedBytesOption, lineOption, accessibleOption, serveOption, stopsOption, findOption, progressOnlyOption, progressOption});
    parser.process(application);
    const qint64 floodBytes = parser.value(floodOption).toLongLong() * mebibyte;
    const int repeats = std::max(parser.value(repeatOption).toInt(), 1);
    const QString povray = parser.value(povrayOption);

    // Debian's POV-Ray reads scenes only below HOME, /tmp and the working directory.
    const QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/kilnlight-bench-XXXXXX"));
    qputenv("HOME", scratch.path().toUtf8());
    const QByteArrayList floodArguments{FLOOD_RENDERER};

    if (parser.isSet(feedOption)) {
        BenchWindow window(QStringLiteral(FLOOD_RENDERER), scratch.filePath(QStringLiteral("flood.pov")));
        // The window painted first, so that its fonts and caches count as they were before.
        window.idleLongestGap();
        const qint64 peakBefore = BenchWindow::peakResidentBytes();
        const BenchWindow::Run run = window.feed(feedReads(parser.value(feedOption)), parser.value(feedBytesOption).toLongLong());
        printLine(QString::asprintf("%lld %lld %lld", static_cast<long long>(run.elapsed.count()), static_cast<long long>(run.shown),
                                    static_cast<long long>(run.peakResidentBytes - peakBefore)));
        return 0;
    }

    printLine(QString::asprintf("%-26s %-26s %-36s %s", "figure", "measured", "baseline", "value"));
    if (parser.isSet(stopsOption)) {
        printStopFigures(povray, parser.value(sceneOption), QDir(scratch.path()), repeats);
        return 0;
    }
    if (parser.isSet(progressOnlyOption)) {
        BenchWindow::namePreferredScene(scratch.filePath(QStringLiteral("flood.pov")));
        printProgressFigures(floodBytes, parser.value(progressOption).toLongLong() * mebibyte);
        return 0;
    }
    if (parser.isSet(findOption)) {
        printFindFigures(floodBytes);
        return 0;
    }
    if (parser.isSet(accessibleOption)) {
        printAccessibleIngest(scratch.filePath(QStringLiteral("flood.pov")), floodBytes, repeats);
        printGap(QStringLiteral("11 highlighted repaint (xcb)"), QStringLiteral("26 rows of log text"),
                 HighlightedRepaintBench::repaint(QStringLiteral("Parsing object 0123456789 of the scene: every byte counts\n"), 26));
        printServedCopy(floodBytes);
        return 0;
    }
    if (parser.isSet(serveOption)) {
        printServedCopy(floodBytes);
        return 0;
    }

    {
        BenchWindow window(QStringLiteral(FLOOD_RENDERER), scratch.filePath(QStringLiteral("flood.pov")));
        // The first render pays for fonts and caches, not for the log.
        qputenv("BENCH_FLOOD_BYTES", "100000");
        window.render();
        qputenv("BENCH_FLOOD_BYTES", QByteArray::number(floodBytes));
        std::vector<Clock::duration> limits;
        std::vector<BenchWindow::Run> runs;
        const qint64 peakBefore = BenchWindow::peakResidentBytes();
        for (int run = 0; run < repeats; ++run) {
            limits.push_back(pipeToNothing(floodArguments));
            runs.push_back(window.render());
        }
        const qint64 peakGrowth = runs.front().peakResidentBytes - peakBefore;
        const auto best = std::ranges::min(runs, {}, &BenchWindow::Run::elapsed);
        const auto longestGap = std::ranges::max(runs, {}, &BenchWindow::Run::longestGap).longestGap;
        printFigure("1 log ingest", seconds(best.elapsed) + QStringLiteral(" for ") + mib(static_cast<double>(best.shown)),
                    QStringLiteral("pipe to nothing ") + seconds(smallest(limits)), milliseconds(best.elapsed) / milliseconds(smallest(limits)), 4, "x");
        printFigure("2 longest main-loop gap", QStringLiteral("during %1 floods").arg(repeats),
                    QStringLiteral("idle loop %1 ms").arg(milliseconds(window.idleLongestGap()), 0, 'f', 1), milliseconds(longestGap), 16, "ms");

        std::vector<Clock::duration> stops;
        std::vector<Clock::duration> directStops;
        const qint64 shownBeforeStop = std::min<qint64>(16 * mebibyte, floodBytes / 4);
        for (int run = 0; run < std::max(repeats, 5); ++run) {
            stops.push_back(window.stopDuringFlood(shownBeforeStop));
            directStops.push_back(stopDirectly(floodArguments, shownBeforeStop));
        }
        printFigure("3 stop latency (worst)", QStringLiteral("%1 stops, median %2 ms").arg(stops.size()).arg(milliseconds(median(stops)), 0, 'f', 1),
                    QStringLiteral("SIGTERM, read, reap %1 ms").arg(milliseconds(median(directStops)), 0, 'f', 1),
                    milliseconds(*std::ranges::max_element(stops)), 50, "ms");
        printFigure("4 memory per log byte", mib(static_cast<double>(peakGrowth)) + QStringLiteral(" peak growth"),
                    mib(static_cast<double>(runs.front().shown)) + QStringLiteral(" shown"),
                    static_cast<double>(peakGrowth) / static_cast<double>(std::max<qint64>(runs.front().shown, 1)), 1.5, "");
    }

    if (!povray.isEmpty()) {
        const QString scene = scratch.filePath(QStringLiteral("demo.pov"));
        QFile::copy(parser.value(sceneOption), scene);
        QFile ini(scratch.filePath(QStringLiteral("bench.ini")));
        if (!ini.open(QIODevice::WriteOnly) || ini.write("Display=Off\n") < 0)
            qFatal("cannot write %s", qPrintable(ini.fileName()));
        ini.close();
        qputenv("POVINI", ini.fileName().toUtf8());
        BenchWindow window(povray, scene);
        window.setImage(QStringLiteral("1280"), QStringLiteral("960"), true);
        const QByteArrayList direct{povray.toUtf8(), "-F", "+P", "+A", "+W1280", "+H960", '"' + scene.toUtf8() + '"'};
        std::vector<Clock::duration> throughWindow;
        std::vector<Clock::duration> toNothing;
        for (int run = 0; run < repeats; ++run) {
            toNothing.push_back(pipeToNothing(direct));
            throughWindow.push_back(window.render().elapsed);
        }
        printFigure("5 real render", seconds(smallest(throughWindow)) + QStringLiteral(" through the window"),
                    QStringLiteral("povray to nothing ") + seconds(smallest(toNothing)),
                    milliseconds(smallest(throughWindow)) / milliseconds(smallest(toNothing)), 1.02, "x");
    }
    printStopFigures(povray, parser.value(sceneOption), QDir(scratch.path()), repeats);

    std::vector<Clock::duration> kilnlight;
    std::vector<Clock::duration> bare;
    for (int run = 0; run < std::max(repeats, 5); ++run) {
        kilnlight.push_back(startUp(QStringLiteral(STARTUP_PROBE)));
        bare.push_back(startUp(QStringLiteral(BARE_WINDOW)));
    }
    printFigure("6 start-up (median)", QStringLiteral("%1 ms to the window shown").arg(milliseconds(median(kilnlight)), 0, 'f', 1),
                QStringLiteral("bare Qt window %1 ms").arg(milliseconds(median(bare)), 0, 'f', 1),
                milliseconds(median(kilnlight)) / milliseconds(median(bare)), 1.5, "x");

    const qint64 mixedBytes = parser.value(mixedOption).toLongLong() * mebibyte;
    std::vector<Fed> ascii;
    std::vector<Fed> mixed;
    for (int run = 0; run < repeats; ++run) {
        ascii.push_back(feedInFreshProcess(QStringLiteral("ascii"), mixedBytes));
        mixed.push_back(feedInFreshProcess(QStringLiteral("mixed"), mixedBytes));
    }
    const auto bestAscii = std::ranges::min(ascii, {}, &Fed::elapsed).elapsed;
    const auto bestMixed = std::ranges::min(mixed, {}, &Fed::elapsed).elapsed;
    printFigure("7 mixed-script ingest", seconds(bestMixed) + QStringLiteral(" for ") + mib(static_cast<double>(mixedBytes)),
                QStringLiteral("ASCII, same reads %1").arg(seconds(bestAscii)), milliseconds(bestMixed) / milliseconds(bestAscii), 3, "x");
    printFigure("8 mixed-script memory", mib(static_cast<double>(mixed.front().peakGrowth)) + QStringLiteral(" peak growth"),
                QStringLiteral("%1 M UTF-16 units shown").arg(static_cast<double>(mixed.front().shown) / 1e6, 0, 'f', 1), perUnit(mixed.front()), 2.5, "");
    const Fed lines = feedInFreshProcess(QStringLiteral("empty-lines"), parser.value(linesOption).toLongLong());
    printFigure("9 memory, empty lines", mib(static_cast<double>(lines.peakGrowth)) + QStringLiteral(" peak growth"),
                QStringLiteral("%1 M lines shown").arg(static_cast<double>(lines.shown) / 1e6, 0, 'f', 1), perUnit(lines), 1.5, "");

    printViewFigures(floodBytes, parser.value(lineOption).toLongLong() * 1000 * 1000);
    printFindFigures(floodBytes);

    printProgressFigures(floodBytes, parser.value(progressOption).toLongLong() * mebibyte);
    return 0;
}
