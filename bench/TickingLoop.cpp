#include "bench/TickingLoop.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

std::chrono::steady_clock::duration runTicking(const std::function<bool()> &step)
{
    using Clock = std::chrono::steady_clock;
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    Clock::duration longest{};
    auto lastTick = Clock::now();
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, now - lastTick);
        lastTick = now;
        if (step())
            loop.quit();
    });
    ticker.start();
    loop.exec();
    return longest;
}
