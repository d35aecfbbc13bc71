#pragma once

#include "platform/log/LogHighlighter.h"

#include <QBrush>
#include <QList>

#include <vector>

// Highlights stacked in layers, flattened into stretches that do not overlap, each in the colours
// of the layers over it, later layers winning. Painting overlapping stretches would otherwise
// follow rules of its own: QTextLayout drops a later colour of text where an earlier one painted.
class HighlightLayers
{
public:
    // Colours left unset by every layer over a stretch are Qt::NoBrush.
    struct Stretch
    {
        qsizetype start = 0;
        qsizetype end = 0;
        QBrush foreground;
        QBrush background;
    };

    // Layers from the bottom up, clipped to [start, end); stretches no layer colours are left out.
    [[nodiscard]] static QList<Stretch> flattened(const std::vector<LogHighlight> &layers, qsizetype start, qsizetype end);
};
