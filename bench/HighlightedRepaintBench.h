#pragma once

#include "bench/LogViewBench.h"

#include <QString>

// One repaint of a page on which every row is highlighted twice over, as a failed render's
// messages and a one-letter search colour it: the whole row, and short stretches within it.
class HighlightedRepaintBench
{
public:
    // The longest of a few repaints of rows rows, each holding row (which ends in '\n').
    static LogViewBench::Duration repaint(const QString &row, int rows);
};
