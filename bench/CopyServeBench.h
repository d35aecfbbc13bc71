#pragma once

#include <QtGlobal>

#include <chrono>

class LogView;

// Copies the whole log and has another program paste it, as xclip does on X: the longest gap in
// the main loop and the time until the paste is complete, once with the copy fully encoded
// first and once with the paste asked for at once, which makes the copy finish in one go.
// The copy is served as the application serves it, in small increments (SelectionServer), so the
// built paste's gap is one increment's write (docs/performance.md).
class CopyServeBench
{
public:
    using Duration = std::chrono::steady_clock::duration;

    struct Paste
    {
        Duration longestGap{};
        Duration elapsed{};
    };
    struct Figures
    {
        Paste built;
        Paste early;
        Duration idleGap{}; // the idle loop's longest gap, for as long as the built paste took
        qint64 bytes = 0;
    };

    // Needs Qt's xcb platform and xclip.
    [[nodiscard]] static Figures serve(LogView &log);
};
