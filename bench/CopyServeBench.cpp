#include "bench/CopyServeBench.h"

#include "bench/TickingLoop.h"
#include "platform/log/CopiedText.h"
#include "platform/log/LogView.h"
#include "platform/x11/SelectionServer.h"

#include <QApplication>
#include <QClipboard>
#include <QProcess>

#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

CopyServeBench::Paste paste(qint64 &bytes, const std::function<void()> &before)
{
    const auto start = Clock::now();
    before();
    QProcess xclip;
    xclip.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("xclip -o -selection clipboard | wc -c")});
    CopyServeBench::Paste pasted;
    pasted.longestGap = runTicking([&] { return xclip.state() == QProcess::NotRunning; });
    pasted.elapsed = Clock::now() - start;
    bytes = xclip.readAllStandardOutput().trimmed().toLongLong();
    return pasted;
}

} // namespace

CopyServeBench::Figures CopyServeBench::serve(LogView &log)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        qFatal("serving a copy is measured on X only");
    // As the application serves it.
    const auto server = SelectionServer::forApplication();
    Figures figures;
    const auto copied = [] { return qobject_cast<const CopiedText *>(QApplication::clipboard()->mimeData()); };
    log.selectAll();
    log.copy();
    std::ignore = runTicking([&] { return copied() == nullptr || copied()->isComplete(); });
    figures.built = paste(figures.bytes, [] {});
    const auto idleEnd = Clock::now() + figures.built.elapsed;
    figures.idleGap = runTicking([&] { return Clock::now() >= idleEnd; });

    QApplication::clipboard()->clear();
    log.setSelection(0, log.length());
    qint64 earlyBytes = 0;
    figures.early = paste(earlyBytes, [&] { log.copy(); });
    if (earlyBytes != figures.bytes)
        qFatal("the early paste got %lld bytes of %lld", static_cast<long long>(earlyBytes), static_cast<long long>(figures.bytes));
    QApplication::clipboard()->clear();
    return figures;
}
