#include "bench/SaveBench.h"

#include "platform/log/LogSaver.h"
#include "platform/log/LogView.h"

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

SaveBench::Figures SaveBench::save(const LogView &log)
{
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("saved.log"));
    Figures figures;
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    auto lastTick = Clock::now();
    Duration *longest = &figures.longestGap;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const auto now = Clock::now();
        *longest = std::max(*longest, now - lastTick);
        lastTick = now;
    });
    // The saver deletes itself once it has finished.
    auto *saver = new LogSaver([&log](qsizetype from, qsizetype to) { return log.textRange(from, to); }, log.length());
    const auto start = Clock::now();
    QObject::connect(saver, &LogSaver::finished, &loop, [&](const QString &failure) {
        figures.elapsed = Clock::now() - start;
        if (!failure.isEmpty())
            qFatal("saving failed: %s", qPrintable(failure));
        loop.quit();
    });
    ticker.start();
    lastTick = Clock::now();
    saver->start(path);
    loop.exec();
    longest = &figures.idleGap;
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(figures.elapsed), &loop, &QEventLoop::quit);
    lastTick = Clock::now();
    loop.exec();

    QFile saved(path);
    if (!saved.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    const QByteArray bytes = saved.readAll();
    figures.bytes = bytes.size();
    QFile plain(folder.filePath(QStringLiteral("plain.log")));
    const auto plainStart = Clock::now();
    if (!plain.open(QIODevice::WriteOnly) || plain.write(bytes) != bytes.size() || !plain.flush() || ::fdatasync(plain.handle()) != 0)
        qFatal("cannot write %s", qPrintable(plain.fileName()));
    figures.plainWrite = Clock::now() - plainStart;
    return figures;
}
