#pragma once

#include "platform/log/LogView.h"

#include <QString>

#include <chrono>
#include <functional>

// A log view, shown offscreen and filled with a huge text, on which the actions a user takes are
// timed by the longest gap they leave between ticks of a 1 ms timer: the action's own work and
// the repaint it causes, or whatever it leaves to the main loop afterwards.
class LogViewBench
{
public:
    using Duration = std::chrono::steady_clock::duration;

    LogViewBench();

    // Replaces the log's text with piece repeated up to about units UTF-16 units, appended in pieces.
    void fill(const QString &piece, qsizetype units);
    // Shows the given number of rows.
    void setRows(int rows);
    void placeCursor(qsizetype position);

    Duration press(QKeyCombination keys);
    Duration doubleClickAtCursor();
    Duration accessibleWordAtCursor();
    // Selects all and presses Ctrl+C, timed until the clipboard had time to take the text.
    Duration copyAll();
    // The longest of a few repaints of the whole view, once a first repaint has been made.
    Duration repaint();

    [[nodiscard]] LogView &view() noexcept { return log; }

private:
    static Duration longestGap(const std::function<void()> &action, std::chrono::milliseconds after);

    LogView log;
};
