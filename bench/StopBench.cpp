#include "bench/StopBench.h"

#include "bench/BenchWindow.h"
#include "platform/log/LogView.h"
#include "platform/process/UniqueFd.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>

namespace {

using Clock = std::chrono::steady_clock;

// Our newest child, or 0 when there is none.
qint64 newestChild()
{
    QFile children(QStringLiteral("/proc/self/task/%1/children").arg(QCoreApplication::applicationPid()));
    const QList<QByteArray> pids = children.open(QIODevice::ReadOnly) ? children.readAll().split(' ') : QList<QByteArray>();
    qint64 newest = 0;
    for (const QByteArray &pid : pids)
        newest = std::max(newest, pid.trimmed().toLongLong());
    return newest;
}

bool exists(qint64 pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Another reading end of the pipe the renderer writes to, only ever asked how much waits in it.
UniqueFd rendererOutput(qint64 pid)
{
    return UniqueFd(::open(QStringLiteral("/proc/%1/fd/1").arg(pid).toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
}

int bytesWaiting(const UniqueFd &pipe)
{
    int count = 0;
    return ::ioctl(pipe.get(), FIONREAD, &count) == 0 ? count : 0;
}

} // namespace

StopBench::StopBench(const QString &rendererPath, const QString &scenePath)
    : definition(rendererPath)
{
    BenchWindow::prepare(definition, scenePath);
}

void StopBench::setImage(const QString &width, const QString &height)
{
    definition.controls().width->setText(width);
    definition.controls().height->setText(height);
}

StopBench::Stop StopBench::stop(const QString &started, bool outputWaiting)
{
    Ui::MainWindow &controls = definition.controls();
    Stop result;
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QTimer presser;
    presser.setTimerType(Qt::PreciseTimer);
    std::optional<Clock::time_point> lastTick;
    Clock::time_point pressedAt;
    qint64 renderer = 0;
    UniqueFd pipe;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const auto now = Clock::now();
        if (lastTick)
            result.longestGap = std::max(result.longestGap, now - *lastTick), lastTick = now;
        if (lastTick && !exists(renderer))
            loop.quit();
    });
    // Its own timer, so that the ticker can fire while it is inside the stop.
    QObject::connect(&presser, &QTimer::timeout, &loop, [&] {
        if (!definition.controller().isRendering())
            qFatal("the render ended before it could be stopped");
        if (!controls.textView->text().contains(started))
            return;
        if (!pipe.isValid())
            pipe = rendererOutput(renderer = newestChild());
        if (outputWaiting) {
            pollfd readable{pipe.get(), POLLIN, 0};
            ::poll(&readable, 1, 1000);
        } else if (bytesWaiting(pipe) > 0) {
            return;
        }
        pipe.reset();
        presser.stop();
        const qsizetype shown = controls.textView->length();
        pressedAt = Clock::now();
        lastTick = pressedAt;
        controls.renderButton->click();
        result.untilRender = Clock::now() - pressedAt;
        result.drained = controls.textView->length() > shown;
        if (definition.controller().isRendering() || controls.renderButton->text() != QLatin1String("Render"))
            qFatal("the render did not stop");
    });
    controls.renderButton->click();
    ticker.start(1);
    presser.start(1);
    loop.exec();
    // The same ticks for as long again, with the window idle: what the machine's load alone costs.
    const auto idleEnd = Clock::now() + std::max<Duration>(Clock::now() - pressedAt, std::chrono::milliseconds(300));
    presser.disconnect();
    ticker.disconnect();
    lastTick = Clock::now();
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const auto now = Clock::now();
        result.idleGap = std::max(result.idleGap, now - *lastTick), lastTick = now;
        if (now >= idleEnd)
            loop.quit();
    });
    loop.exec();
    return result;
}

StopBench::Stop StopBench::worstStop(const QString &started, bool outputWaiting, int runs)
{
    Stop worst;
    for (int run = 0; run < runs; ++run) {
        const Stop stopped = stop(started, outputWaiting);
        if (run == 0 || stopped.longestGap > worst.longestGap)
            worst = stopped;
    }
    return worst;
}

QString StopBench::describe(const Stop &stop)
{
    return QStringLiteral("Render after %1 ms%2").arg(std::chrono::duration<double, std::milli>(stop.untilRender).count(), 0, 'f', 0)
        .arg(stop.drained ? QStringLiteral(", drained") : QString());
}

QString StopBench::writeDeafRenderer(const QString &folder)
{
    QString path = QDir(folder).filePath(QStringLiteral("deafrenderer"));
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly) ||
        script.write("#!/bin/sh\ntrap '' TERM\nwhile :; do echo 'Rendered 1024 of 1920000 pixels (0%)'; sleep 0.003; done\n") < 0 ||
        !script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}
