#pragma once

#include "platform/log/LogText.h"

#include <QFont>
#include <QList>
#include <QRect>
#include <QRectF>
#include <QRegion>
#include <QSize>
#include <QTextLayout>

#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

// Where the log's characters stand on a page of it: the rows and columns a viewport of a given
// size shows, from a first line and a first column on. Lines are not wrapped. Only the lines asked
// for are laid out, and a long line only around the page's columns, so every answer costs the
// same however long the log or a line grows. A long line's character at the page's first column
// stands at that column, whatever the width of the characters before it, so its end is reached
// however wide they are. Coordinates are the viewport's, margin included; positions count UTF-16
// units of the text.
class LogLayout
{
public:
    // One line laid out, or for a long line only the stretch around the page's columns.
    struct Line
    {
        std::shared_ptr<QTextLayout> layout;
        qsizetype line = -1;
        qsizetype start = 0; // position of the layout's first character
        QPointF origin; // where the layout is drawn
        bool rightToLeft = false; // holds text written right to left
        // x of cursor positions by offset in the layout, measured when first asked for: slowly.
        mutable std::unordered_map<qsizetype, qreal> edges;
    };

    static constexpr int margin = 4;

    explicit LogLayout(const LogText &text);

    // Forgets every layout and width measured.
    void setFont(const QFont &font);
    // For a text replaced: widths measured on the old one no longer count.
    void forgetWidths();
    void setPage(qsizetype line, qsizetype column, QSize size);

    [[nodiscard]] qreal characterWidth() const noexcept { return columnWidth; }
    [[nodiscard]] int lineHeight() const noexcept { return rowHeight; }
    [[nodiscard]] int rows() const;
    [[nodiscard]] qsizetype columns() const;
    // The largest first line and first column a page may take.
    [[nodiscard]] qsizetype lastFirstLine() const;
    [[nodiscard]] qsizetype lastFirstColumn() const;

    // Kept between calls: shaping emoji or mixed scripts is slow.
    [[nodiscard]] const Line &line(qsizetype line) const;
    [[nodiscard]] bool isLong(qsizetype line) const;
    // The cursor position nearest to point, or with CursorOnCharacter the character under it.
    [[nodiscard]] qsizetype positionAt(QPointF point, QTextLine::CursorPosition at = QTextLine::CursorBetweenCharacters) const;
    [[nodiscard]] QRectF characterArea(qsizetype position) const;
    // Where the characters between two positions of a line laid out stand, as far as the page
    // shows them: for text written right to left, in pieces apart.
    [[nodiscard]] QRegion areaOf(const Line &laidOut, qsizetype from, qsizetype to) const;
    // The page's first line and column moved as little as needed to show position whole.
    [[nodiscard]] std::pair<qsizetype, qsizetype> pageShowing(qsizetype position) const;
    // Where paging across from the page leads, forward or back, so that no character of a shown
    // line is passed over however wide; proposed is the column a plain page step would take.
    [[nodiscard]] qsizetype pagedAcross(bool forward, qsizetype proposed) const;

private:
    [[nodiscard]] static std::shared_ptr<QTextLayout> laidOut(const QString &text, const QFont &font, qreal tabStop);
    // The first character of a long line to show so that the one at position ends at the right edge.
    [[nodiscard]] qsizetype firstShowing(qsizetype line, qsizetype position) const;
    [[nodiscard]] qreal scrolledBy() const { return static_cast<qreal>(firstColumn) * columnWidth; }
    [[nodiscard]] qreal textWidth() const { return viewport.width() - 2 * margin; }

    const LogText &content;
    QFont font;
    qreal columnWidth = 1;
    int rowHeight = 1;
    qsizetype firstLine = 0;
    qsizetype firstColumn = 0;
    QSize viewport;
    mutable qreal widestLine = 0; // widest short line laid out, where it exceeds the character count's guess
    mutable std::vector<Line> layouts;
};
