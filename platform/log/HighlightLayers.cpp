#include "platform/log/HighlightLayers.h"

#include <algorithm>

QList<HighlightLayers::Stretch> HighlightLayers::flattened(const std::vector<LogHighlight> &layers, qsizetype start, qsizetype end)
{
    // Reading a format's properties is slow: each layer's are read once.
    std::vector<Stretch> clipped;
    std::vector<qsizetype> edges;
    for (const LogHighlight &layer : layers) {
        const qsizetype from = std::clamp(layer.start, start, end);
        const qsizetype to = std::clamp(layer.end, start, end);
        if (from >= to)
            continue;
        clipped.push_back({from, to, layer.format.hasProperty(QTextFormat::ForegroundBrush) ? layer.format.foreground() : QBrush(),
                           layer.format.hasProperty(QTextFormat::BackgroundBrush) ? layer.format.background() : QBrush()});
        edges.insert(edges.end(), {from, to});
    }
    std::ranges::sort(edges);
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    QList<Stretch> stretches;
    for (std::size_t edge = 1; edge < edges.size(); ++edge) {
        Stretch stretch{edges[edge - 1], edges[edge], {}, {}};
        for (const Stretch &layer : clipped) {
            if (layer.start > stretch.start || layer.end < stretch.end)
                continue;
            if (layer.foreground.style() != Qt::NoBrush)
                stretch.foreground = layer.foreground;
            if (layer.background.style() != Qt::NoBrush)
                stretch.background = layer.background;
        }
        if (stretch.foreground.style() == Qt::NoBrush && stretch.background.style() == Qt::NoBrush)
            continue;
        if (!stretches.isEmpty() && stretches.back().end == stretch.start && stretches.back().foreground == stretch.foreground
            && stretches.back().background == stretch.background)
            stretches.back().end = stretch.end;
        else
            stretches.append(stretch);
    }
    return stretches;
}
