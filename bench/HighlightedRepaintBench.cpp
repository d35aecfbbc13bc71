#include "bench/HighlightedRepaintBench.h"

#include "platform/log/LogHighlighter.h"

#include <algorithm>

namespace {

// Highlights every line whole, or with a period, the first length characters of every period.
class EveryRow : public LogHighlighter
{
public:
    EveryRow(const LogView &view, const QColor &foreground, const QColor &background, qsizetype period, qsizetype length)
        : view(view)
        , period(period)
        , length(length)
    {
        format.setForeground(foreground);
        if (background.isValid())
            format.setBackground(background);
    }

    void highlightsIn(qsizetype start, qsizetype end, std::vector<LogHighlight> &into) const override
    {
        for (qsizetype line = view.lineStartAt(start); line < end; line = view.lineEndAt(line) + 1) {
            const qsizetype lineEnd = view.lineEndAt(line);
            if (period == 0)
                into.push_back({line, lineEnd, format});
            for (qsizetype from = line + std::max<qsizetype>(start - line, 0) / std::max<qsizetype>(period, 1) * period;
                 period > 0 && from < std::min(lineEnd, end); from += period)
                into.push_back({from, std::min(from + length, lineEnd), format});
        }
    }

private:
    const LogView &view;
    qsizetype period;
    qsizetype length;
    QTextCharFormat format;
};

} // namespace

LogViewBench::Duration HighlightedRepaintBench::repaint(const QString &row, int rows)
{
    LogViewBench bench;
    const EveryRow messages(bench.view(), QColor(0xb0, 0x00, 0x20), QColor(), 0, 0);
    const EveryRow matches(bench.view(), Qt::black, QColor(0xff, 0xe0, 0x60), 8, 3);
    bench.view().addHighlighter(&messages);
    bench.view().addHighlighter(&matches);
    bench.setRows(rows);
    bench.fill(row, row.size() * rows);
    return bench.repaint();
}
