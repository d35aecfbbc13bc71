#include "bench/BenchWindow.h"

#include "bench/TickingLoop.h"
#include "platform/log/LogView.h"
#include "platform/log/OutputTextDecoder.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

BenchWindow::BenchWindow(const QString &rendererPath, const QString &scenePath)
    : definition(rendererPath)
{
    prepare(definition, scenePath);
}

void BenchWindow::namePreferredScene(const QString &scenePath)
{
    QFile preferences(QDir::home().filePath(QStringLiteral(".mossworkprefs")));
    if (!preferences.open(QIODevice::WriteOnly) || preferences.write("render_filename \"" + scenePath.toUtf8() + "\"\n") < 0)
        qFatal("cannot write %s", qPrintable(preferences.fileName()));
}

void BenchWindow::prepare(MainWindowDefinition &definition, const QString &scenePath)
{
    namePreferredScene(scenePath);
    definition.controls().outputFile->clear();
    definition.window().resize(720, 520);
    definition.window().show();
}

void BenchWindow::setImage(const QString &width, const QString &height, bool antialias)
{
    definition.controls().width->setText(width);
    definition.controls().height->setText(height);
    definition.controls().antialias->setChecked(antialias);
}

BenchWindow::Run BenchWindow::render()
{
    Run run;
    Clock::time_point finished;
    const auto start = Clock::now();
    definition.controls().renderButton->click();
    run.longestGap = runTicking([&] {
        finished = Clock::now();
        return !definition.controller().isRendering();
    });
    run.elapsed = finished - start;
    run.shown = definition.controls().textView->length();
    run.peakResidentBytes = peakResidentBytes();
    return run;
}

BenchWindow::Duration BenchWindow::stopDuringFlood(qsizetype shownBeforeStop)
{
    Duration elapsed{};
    definition.controls().renderButton->click();
    runTicking([&] {
        if (!definition.controller().isRendering())
            qFatal("the render ended before it could be stopped");
        if (definition.controls().textView->length() < shownBeforeStop)
            return false;
        const auto start = Clock::now();
        definition.controls().renderButton->click();
        elapsed = Clock::now() - start;
        if (definition.controller().isRendering() || definition.controls().renderButton->text() != QLatin1String("Render"))
            qFatal("the render did not stop");
        return true;
    });
    return elapsed;
}

BenchWindow::Run BenchWindow::feed(const QByteArrayList &reads, qint64 bytes)
{
    OutputTextDecoder decoder;
    const auto start = Clock::now();
    for (qint64 fed = 0, read = 0; fed < bytes; ++read) {
        const QByteArray &next = reads.at(read % reads.size());
        const QByteArrayView piece = QByteArrayView(next).first(std::min<qint64>(next.size(), bytes - fed));
        const QString &text = decoder.decode(piece);
        if (!text.isEmpty())
            definition.controller().appendOutput(text);
        fed += piece.size();
        if (read % 64 == 63)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    Run run;
    run.elapsed = Clock::now() - start;
    run.shown = definition.controls().textView->length();
    run.peakResidentBytes = peakResidentBytes();
    return run;
}

BenchWindow::Duration BenchWindow::idleLongestGap()
{
    const auto end = Clock::now() + std::chrono::milliseconds(300);
    return runTicking([&] { return Clock::now() >= end; });
}

qint64 BenchWindow::peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLongLong() * 1024;
    }
    return 0;
}
