#include "platform/log/LogLayout.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Lines longer than this are laid out only around the page's columns, with this much on either side.
constexpr qsizetype longLine = 4096;
constexpr qsizetype layoutContext = 1024;
constexpr int tabColumns = 8;

int toInt(qsizetype value)
{
    return static_cast<int>(std::clamp<qsizetype>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

LogLayout::LogLayout(const LogText &text)
    : content(text)
{
}

void LogLayout::setFont(const QFont &newFont)
{
    font = newFont;
    const QFontMetricsF metrics(font);
    columnWidth = std::max<qreal>(metrics.horizontalAdvance(u'0'), 1);
    rowHeight = std::max(static_cast<int>(std::ceil(metrics.lineSpacing())), 1);
    layouts.clear();
    forgetWidths();
}

void LogLayout::forgetWidths()
{
    widestLine = 0;
}

void LogLayout::setPage(qsizetype line, qsizetype column, QSize size)
{
    firstLine = line;
    firstColumn = column;
    viewport = size;
}

int LogLayout::rows() const
{
    return std::max((viewport.height() - margin) / rowHeight, 1);
}

qsizetype LogLayout::columns() const
{
    return std::max(static_cast<qsizetype>(textWidth() / columnWidth), qsizetype{1});
}

qsizetype LogLayout::lastFirstLine() const
{
    return std::max<qsizetype>(content.lineCount() - rows(), 0);
}

qsizetype LogLayout::lastFirstColumn() const
{
    const qsizetype longest = content.longestLineLength();
    const auto widest = std::max(static_cast<qsizetype>(std::ceil(widestLine / columnWidth)), std::min(longest, longLine));
    // A long line's last character can stand at the left edge: then the widest characters before
    // it cannot keep its end out of reach.
    const qsizetype last = longest > longLine ? std::max(widest + 1 - columns(), longest - 1) : widest + 1 - columns();
    return std::max<qsizetype>(last, 0);
}

bool LogLayout::isLong(qsizetype line) const
{
    return content.lineEnd(line) - content.lineStart(line) > longLine;
}

std::shared_ptr<QTextLayout> LogLayout::laidOut(const QString &text, const QFont &font, qreal tabStop)
{
    auto layout = std::make_shared<QTextLayout>(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    // Every line starts at the left edge, as in a terminal: a line opening in Hebrew would
    // otherwise be laid out from the right and drawn left of the view.
    option.setTextDirection(Qt::LeftToRight);
    option.setTabStopDistance(tabStop);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    layout->createLine().setPosition({0, 0});
    layout->endLayout();
    return layout;
}

const LogLayout::Line &LogLayout::line(qsizetype line) const
{
    const qsizetype start = content.lineStart(line);
    const qsizetype end = content.lineEnd(line);
    qsizetype from = start;
    qsizetype to = end;
    qsizetype anchor = start;
    if (end - start > longLine) {
        anchor = std::clamp(start + firstColumn, start, end);
        from = std::max(anchor - layoutContext, start);
        to = std::min(anchor + columns() + layoutContext, end);
    }
    QString text = content.mid(from, to);
    // A stretch must not split a character in two.
    if (from > start && !text.isEmpty() && text.front().isLowSurrogate()) {
        text.remove(0, 1);
        ++from;
    }
    if (to < end && !text.isEmpty() && text.back().isHighSurrogate())
        text.chop(1);
    auto cached = std::ranges::find_if(layouts, [&](const Line &candidate) {
        return candidate.line == line && candidate.start == from && candidate.layout->text() == text;
    });
    if (cached == layouts.end()) {
        // Enough for the rows on a page and those of the page before.
        if (std::cmp_greater(layouts.size(), 2 * rows() + 4))
            layouts.erase(layouts.begin());
        const bool rightToLeft = std::ranges::any_of(text, [](QChar character) {
            const QChar::Direction direction = character.direction();
            return direction == QChar::DirR || direction == QChar::DirAL || direction == QChar::DirRLE || direction == QChar::DirRLO
                || direction == QChar::DirRLI;
        });
        layouts.push_back({laidOut(text, font, tabColumns * columnWidth), line, from, {}, rightToLeft, {}});
        cached = std::prev(layouts.end());
        // Tabs and wide characters can make a line wider than its count of characters says.
        if (end - start <= longLine)
            widestLine = std::max(widestLine, cached->layout->maximumWidth());
    }
    // A layout from the line's start is drawn from the left edge: its first position may stand at
    // the right of text written right to left.
    const qreal x = anchor == start ? 0.0
                                    : static_cast<qreal>(anchor - start) * columnWidth - cached->layout->lineAt(0).cursorToX(toInt(anchor - from));
    cached->origin = {margin + x - scrolledBy(), margin + static_cast<qreal>(line - firstLine) * rowHeight};
    return *cached;
}

qsizetype LogLayout::positionAt(QPointF point, QTextLine::CursorPosition at) const
{
    const qsizetype row = point.y() < margin ? -1 : static_cast<qsizetype>((point.y() - margin) / rowHeight);
    const Line &laidOut = line(std::clamp<qsizetype>(firstLine + row, 0, content.lineCount() - 1));
    return laidOut.start + laidOut.layout->lineAt(0).xToCursor(point.x() - laidOut.origin.x(), at);
}

QRectF LogLayout::characterArea(qsizetype position) const
{
    const qsizetype lineAt = content.lineAt(position);
    const Line &laidOut = line(lineAt);
    const qsizetype offset = position - laidOut.start;
    const qsizetype laidOutSize = laidOut.layout->text().size();
    const QTextLine textLine = laidOut.layout->lineAt(0);
    // Beyond the stretch laid out, a character stands where it would as the first one shown.
    const qreal left = offset >= 0 && offset <= laidOutSize
        ? laidOut.origin.x() + textLine.cursorToX(toInt(offset))
        : margin + static_cast<qreal>(position - content.lineStart(lineAt)) * columnWidth - scrolledBy();
    const qreal right = offset >= 0 && offset < laidOutSize ? laidOut.origin.x() + textLine.cursorToX(toInt(offset + 1)) : left + columnWidth;
    return {left, laidOut.origin.y(), std::max(right - left, 1.0), static_cast<qreal>(rowHeight)};
}

QRegion LogLayout::areaOf(const Line &laidOut, qsizetype from, qsizetype to) const
{
    const QTextLine textLine = laidOut.layout->lineAt(0);
    const auto area = [&](qreal left, qreal right) {
        return QRectF(QPointF(laidOut.origin.x() + std::min(left, right), laidOut.origin.y()),
                      QPointF(laidOut.origin.x() + std::max(left, right), laidOut.origin.y() + rowHeight))
            .toRect();
    };
    from -= laidOut.start;
    to -= laidOut.start;
    // Only what the page shows is measured: a long line's stretch holds thousands of characters.
    if (laidOut.origin.x() < 0 || laidOut.origin.x() + textLine.naturalTextWidth() > viewport.width()) {
        from = std::max<qsizetype>(from, textLine.xToCursor(-laidOut.origin.x()) - 1);
        to = std::min<qsizetype>(to, textLine.xToCursor(viewport.width() - laidOut.origin.x()) + 1);
    }
    if (from >= to)
        return {};
    // Each glyph run stands apart where the direction changes; its bounds are those of the
    // characters asked for, as QTextLayout paints a selection of them.
    if (laidOut.rightToLeft) {
        QRegion pieces;
        for (const QGlyphRun &run : textLine.glyphRuns(toInt(from), toInt(to - from)))
            pieces += area(run.boundingRect().left(), run.boundingRect().right());
        return pieces;
    }
    const auto xOf = [&](qsizetype offset) {
        const auto [known, added] = laidOut.edges.try_emplace(offset, 0);
        if (added)
            known->second = textLine.cursorToX(toInt(offset));
        return known->second;
    };
    return area(xOf(from), xOf(to));
}

qsizetype LogLayout::firstShowing(qsizetype line, qsizetype position) const
{
    const qsizetype start = content.lineStart(line);
    const qsizetype end = content.lineEnd(line);
    const qsizetype from = std::max(position - columns(), start);
    const auto layout = laidOut(content.mid(from, std::min(position + 2, end)), font, tabColumns * columnWidth);
    const QTextLine textLine = layout->lineAt(0);
    const qsizetype after = std::min(position + 1, end) - from;
    const qreal right = textLine.cursorToX(toInt(after)) + (position == end ? columnWidth : 0);
    const qreal left = right - textWidth();
    auto first = static_cast<qsizetype>(textLine.xToCursor(std::max<qreal>(left, 0)));
    while (first < after && textLine.cursorToX(toInt(first)) < left)
        ++first;
    return from + std::min(first, position - from);
}

std::pair<qsizetype, qsizetype> LogLayout::pageShowing(qsizetype position) const
{
    const qsizetype lineAt = content.lineAt(position);
    const qsizetype top = std::clamp(firstLine, lineAt - rows() + 1, lineAt);
    const QRectF character = characterArea(position);
    const qreal right = viewport.width() - margin;
    const bool leftOfView = character.left() < margin;
    qsizetype column = firstColumn;
    if (isLong(lineAt) && (leftOfView || character.right() > right))
        column = (leftOfView ? position : firstShowing(lineAt, position)) - content.lineStart(lineAt);
    else if (leftOfView)
        column += static_cast<qsizetype>(std::floor((character.left() - margin) / columnWidth));
    else if (character.right() > right)
        column += static_cast<qsizetype>(std::ceil((character.right() - right) / columnWidth));
    return {std::clamp<qsizetype>(top, 0, lastFirstLine()), std::clamp<qsizetype>(column, 0, lastFirstColumn())};
}

qsizetype LogLayout::pagedAcross(bool forward, qsizetype proposed) const
{
    qsizetype target = proposed;
    const qreal right = viewport.width() - margin;
    for (qsizetype shown = firstLine; shown < std::min(content.lineCount(), firstLine + rows()); ++shown) {
        const qsizetype start = content.lineStart(shown);
        const qsizetype anchor = start + firstColumn;
        if (!isLong(shown) || anchor >= content.lineEnd(shown))
            continue;
        if (!forward) {
            target = std::max(target, firstShowing(shown, anchor - 1) - start);
            continue;
        }
        const Line &laidOut = line(shown);
        const QTextLine textLine = laidOut.layout->lineAt(0);
        auto next = static_cast<qsizetype>(textLine.xToCursor(right - laidOut.origin.x()));
        while (next > 0 && laidOut.origin.x() + textLine.cursorToX(toInt(next)) > right)
            --next;
        target = std::min(target, std::max(laidOut.start + next, anchor + 1) - start);
    }
    return target;
}
