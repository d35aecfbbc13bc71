#include "bench/ProgressBench.h"

#include "KilnlightController.h"
#include "bench/TickingLoop.h"
#include "platform/log/OutputTextDecoder.h"
#include "platform/startup/MainWindowDefinition.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>

#include <algorithm>
#include <ctime>
#include <functional>
#include <vector>

namespace {

// The main thread's own time: the machine's other load, which moves wall time by far more than
// the difference measured, leaves it alone.
ProgressBench::Duration threadTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Reads of 64 KiB as POV-Ray writes them while rendering 1600x1200, one pass over them all; fed
// again, the pass starts over, so the percentage keeps moving.
constexpr qsizetype readSize = qsizetype{64} * 1024;

QByteArrayList renderedReads()
{
    constexpr qint64 pixels = 1920000;
    QByteArrayList reads(1);
    for (qint64 done = 64; done <= pixels; done += 64) {
        if (reads.back().size() >= readSize)
            reads.append(QByteArray());
        reads.back() += "Rendered " + QByteArray::number(done) + " of " + QByteArray::number(pixels) + " pixels (" + QByteArray::number(done * 100 / pixels) + "%)\r";
    }
    return reads;
}

QByteArrayList logReads()
{
    return {QByteArray("Parsing object 0123456789 of the scene: every byte counts, every line is eighty\n").repeated(readSize / 80)};
}

ProgressBench::Duration median(std::vector<ProgressBench::Duration> values)
{
    std::ranges::sort(values);
    return values.at(values.size() / 2);
}

ProgressBench::Medians alternately(int runs, const std::function<ProgressBench::Duration(bool readingProgress)> &once)
{
    std::vector<ProgressBench::Duration> reading{};
    std::vector<ProgressBench::Duration> notReading{};
    // The process's first window pays for memory and caches the later ones find: two or three
    // times a later run, which would always fall to the way measured first.
    once(true);
    for (int run = 0; run < runs; ++run) {
        const bool readingFirst = run % 2 == 0;
        (readingFirst ? reading : notReading).push_back(once(readingFirst));
        (readingFirst ? notReading : reading).push_back(once(!readingFirst));
    }
    return {median(reading), median(notReading)};
}

// Kilnlight's whole window, as figure 1 floods it; not reading, its controller is given the same
// outlets less the progress indicator's.
struct Window
{
    Window(const QString &rendererPath, bool readingProgress)
        : definition(rendererPath)
    {
        Ui::MainWindow &controls = definition.controls();
        controls.outputFile->clear();
        if (!readingProgress) {
            definition.controller().connectOutlets({.window = &definition.window(), .textView = controls.textView, .width = controls.width,
                                                    .height = controls.height, .antialias = controls.antialias,
                                                    .renderButton = controls.renderButton, .outputFile = controls.outputFile});
        }
        definition.window().resize(720, 520);
        definition.window().show();
        QCoreApplication::processEvents();
    }

    MainWindowDefinition definition;
    KilnlightController &controller = definition.controller();
};

} // namespace

ProgressBench::Medians ProgressBench::ingest(Flood flood, qint64 bytes, int runs)
{
    const QByteArrayList reads = flood == Flood::LogLines ? logReads() : renderedReads();
    return alternately(runs, [&](bool readingProgress) { return feedOnce(reads, readingProgress, bytes); });
}

ProgressBench::Medians ProgressBench::render(const QString &rendererPath, int runs)
{
    return alternately(runs, [&](bool readingProgress) { return renderOnce(rendererPath, readingProgress); });
}

ProgressBench::Duration ProgressBench::renderOnce(const QString &rendererPath, bool readingProgress)
{
    Window bench(rendererPath, readingProgress);
    const auto start = std::chrono::steady_clock::now();
    bench.controller.render();
    runTicking([&bench] { return !bench.controller.isRendering(); });
    return std::chrono::steady_clock::now() - start;
}

ProgressBench::Duration ProgressBench::feedOnce(const QByteArrayList &reads, bool readingProgress, qint64 bytes)
{
    Window bench(KilnlightController::defaultRendererPath(), readingProgress);
    KilnlightController &controller = bench.controller;
    controller.processStarted();
    OutputTextDecoder decoder;
    const auto start = threadTime();
    for (qint64 fed = 0, read = 0; fed < bytes; ++read) {
        const QByteArray &next = reads.at(read % reads.size());
        const QString &text = decoder.decode(next);
        if (!text.isEmpty())
            controller.appendOutput(text);
        fed += next.size();
        if (read % 64 == 63)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    const auto elapsed = threadTime() - start;
    controller.processFinished();
    return elapsed;
}
