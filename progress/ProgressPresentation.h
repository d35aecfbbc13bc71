#pragma once

#include "progress/RenderProgress.h"

#include <QString>

// What the window shows of a render's progress at a given moment: the progress bar, the text
// beside it and the window's title. Equal presentations need no redraw.
struct ProgressPresentation
{
    static constexpr int busy = 0; // a bar maximum of 0 shows a busy bar
    static constexpr int percentMaximum = 100;

    bool visible = false;
    int maximum = percentMaximum;
    int value = 0;
    QString text;
    QString windowTitle;

    [[nodiscard]] static ProgressPresentation of(const RenderProgress &progress, RenderProgress::Milliseconds now);
    // Minutes and seconds, with hours in front once there are any: 0:07, 12:34, 1:02:03.
    [[nodiscard]] static QString duration(RenderProgress::Milliseconds time);

    friend bool operator==(const ProgressPresentation &, const ProgressPresentation &) = default;
};
