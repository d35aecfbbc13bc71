#pragma once

#include <QString>

#include <chrono>

class LogView;

// Saves a log as the window's Save Log As does, and times it against writing the same bytes
// in one go, while a 1 ms timer measures the longest gap the save leaves in the main loop, and
// then the idle loop's for as long, which a busy machine lengthens too.
class SaveBench
{
public:
    using Duration = std::chrono::steady_clock::duration;

    struct Figures
    {
        Duration elapsed{}; // from the start to the file committed
        Duration longestGap{};
        Duration idleGap{}; // the longest gap of the idle loop, for as long again
        Duration plainWrite{}; // the same bytes, written and synced in one call
        qint64 bytes = 0;
    };

    [[nodiscard]] static Figures save(const LogView &log);
};
