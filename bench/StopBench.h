#pragma once

#include "platform/startup/MainWindowDefinition.h"

#include <QString>

#include <chrono>

// Kilnlight's real window, shown offscreen, whose renders are stopped the way a user stops them
// while a 1 ms timer ticks: how long the main loop went without a tick, from the press of Stop
// until the renderer had exited and been reaped.
class StopBench
{
public:
    using Duration = std::chrono::steady_clock::duration;

    struct Stop
    {
        Duration longestGap{};
        Duration untilRender{}; // from the press of Stop until the button read Render again
        bool drained = false;   // output came to the log during the stop
        Duration idleGap{};     // with nothing to do for as long afterwards, for comparison
    };

    // The preferences in HOME come to name the scene.
    StopBench(const QString &rendererPath, const QString &scenePath);

    void setImage(const QString &width, const QString &height);

    // Presses Render, and Stop once the log shows started and then at the first moment output waits
    // in the pipe, or none does.
    Stop stop(const QString &started, bool outputWaiting);
    // The stop with the longest gap of a few, its gap and the idle gap measured after it.
    Stop worstStop(const QString &started, bool outputWaiting, int runs);
    // What the figure's measured column tells of a stop.
    [[nodiscard]] static QString describe(const Stop &stop);

    // Writes into folder a renderer stand-in that ignores SIGTERM and writes a progress line every
    // few milliseconds; returns its path.
    static QString writeDeafRenderer(const QString &folder);

private:
    MainWindowDefinition definition;
};
