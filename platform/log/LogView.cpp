#include "platform/log/LogView.h"

#include "platform/log/CopiedText.h"
#include "platform/log/LogViewAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <utility>

namespace {

constexpr int margin = 4;
// Lines longer than this are laid out only around the visible columns, with this much on either side.
constexpr qsizetype longLine = 4096;
constexpr qsizetype layoutContext = 1024;
// How far word motion looks, read in pieces: a "word" of a million letters ends here.
constexpr qsizetype wordReach = 65536;
constexpr qsizetype wordPiece = 4096;
constexpr int tabColumns = 8;
constexpr qint64 frameMilliseconds = 16;
// Accessibility tools are told of output once a frame, and of no more of it than a reader could
// follow: a flood of megabytes would otherwise be copied to them piece by piece.
constexpr qsizetype announcedReach = 16384;

enum Motion {
    NextCharacter,
    PreviousCharacter,
    NextWord,
    PreviousWord,
    NextLine,
    PreviousLine,
    StartOfLine,
    EndOfLine,
    StartOfDocument,
    EndOfDocument,
    NextPage,
    PreviousPage,
};

struct KeyMotion
{
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey select;
    Motion motion;
};

constexpr std::array keyMotions{
    KeyMotion{QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, NextCharacter},
    KeyMotion{QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, PreviousCharacter},
    KeyMotion{QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, NextWord},
    KeyMotion{QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, PreviousWord},
    KeyMotion{QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, NextLine},
    KeyMotion{QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, PreviousLine},
    KeyMotion{QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, StartOfLine},
    KeyMotion{QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, EndOfLine},
    KeyMotion{QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, StartOfDocument},
    KeyMotion{QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, EndOfDocument},
    KeyMotion{QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, NextPage},
    KeyMotion{QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, PreviousPage},
};

bool isWordCharacter(QChar character)
{
    return character.isLetterOrNumber() || character == u'_';
}

int toInt(qsizetype value)
{
    return static_cast<int>(std::min<qsizetype>(value, std::numeric_limits<int>::max()));
}

// Far beyond any screen, yet safe to round to int.
QRect clampedRect(const QRectF &area)
{
    constexpr qreal far = 1 << 30;
    return QRectF(QPointF(std::clamp(area.left(), -far, far), std::clamp(area.top(), -far, far)),
                  QPointF(std::clamp(area.right(), -far, far), std::clamp(area.bottom(), -far, far)))
        .toRect();
}

} // namespace

LogView::LogView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    QAccessible::installFactory(&LogViewAccessible::create);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    updateMetrics();
    repaintTimer.setSingleShot(true);
    connect(&repaintTimer, &QTimer::timeout, viewport(), qOverload<>(&QWidget::update));
    announceTimer.setSingleShot(true);
    connect(&announceTimer, &QTimer::timeout, this, &LogView::announceAppended);
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, &LogView::pageAcross);
}

void LogView::scheduleRepaint()
{
    if (repaintTimer.isActive())
        return;
    const qint64 since = sincePaint.isValid() ? sincePaint.elapsed() : frameMilliseconds;
    if (since >= frameMilliseconds)
        viewport()->update();
    else
        repaintTimer.start(static_cast<int>(frameMilliseconds - since));
}

LogView::~LogView()
{
    finishCopies();
}

// A copy still filling reads the text, so it takes the rest before the text goes.
void LogView::finishCopies()
{
    for (CopiedText *held : {copied.data(), selected.data()}) {
        if (held != nullptr)
            held->finish();
    }
}

void LogView::replaceText(const QString &text)
{
    finishCopies();
    // The replacement is announced whole below; output still waiting to be announced is gone.
    announceTimer.stop();
    unannounced = -1;
    content.clear();
    content.append(text);
    anchor = cursor = 0;
    widestLine = 0;
    updateScrollBars();
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent replaced(this, 0, QString(), text);
        QAccessible::updateAccessibility(&replaced);
    }
    emit textReplaced();
}

void LogView::appendText(const QString &text)
{
    const qsizetype end = content.size();
    const qsizetype lastLine = content.lineCount() - 1;
    try {
        content.append(text);
    } catch (const std::bad_alloc &) {
        showAppended(end, lastLine);
        throw;
    }
    showAppended(end, lastLine);
}

void LogView::appendNote(QStringView note)
{
    const qsizetype end = content.size();
    const qsizetype lastLine = content.lineCount() - 1;
    content.appendNote(note);
    showAppended(end, lastLine);
}

void LogView::showAppended(qsizetype at, qsizetype lastLine)
{
    if (content.size() == at)
        return;
    emit textAppended(at);
    updateScrollBars();
    if (lastLine <= verticalScrollBar()->value() + visibleRows())
        scheduleRepaint();
    if (QAccessible::isActive())
        announceFrom(at);
}

void LogView::announceFrom(qsizetype position)
{
    unannounced = unannounced < 0 ? position : std::min(unannounced, position);
    if (!announceTimer.isActive())
        announceTimer.start(frameMilliseconds);
}

void LogView::announceAppended()
{
    const qsizetype from = std::max(unannounced, content.size() - announcedReach);
    unannounced = -1;
    if (from < content.size() && QAccessible::isActive()) {
        QAccessibleTextInsertEvent inserted(this, toInt(from), content.mid(from, content.size()));
        QAccessible::updateAccessibility(&inserted);
    }
}

void LogView::scrollToEnd()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
    // Most output ends in a short last line of narrow characters, which needs no layout to show.
    const qsizetype lastLine = content.lineStart(content.lineCount() - 1);
    if (horizontalScrollBar()->value() == 0 && content.size() - lastLine < visibleColumns()
        && std::ranges::all_of(content.mid(lastLine, content.size()), [](QChar character) { return character >= u' ' && character < u'\u0300'; }))
        return;
    ensureVisible(content.size());
}

void LogView::setSelection(qsizetype anchorPosition, qsizetype cursorPosition)
{
    anchorPosition = std::clamp<qsizetype>(anchorPosition, 0, content.size());
    cursorPosition = std::clamp<qsizetype>(cursorPosition, 0, content.size());
    if (anchorPosition == anchor && cursorPosition == cursor)
        return;
    anchor = anchorPosition;
    cursor = cursorPosition;
    selectionChanged();
}

void LogView::selectionChanged()
{
    viewport()->update();
    if (!QAccessible::isActive())
        return;
    QAccessibleTextCursorEvent moved(this, toInt(cursor));
    QAccessible::updateAccessibility(&moved);
    QAccessibleTextSelectionEvent selected(this, toInt(selectionStart()), toInt(selectionEnd()));
    QAccessible::updateAccessibility(&selected);
}

void LogView::selectAll()
{
    setSelection(0, content.size());
}

void LogView::copy()
{
    copyTo(QClipboard::Clipboard, copied);
}

void LogView::copyTo(QClipboard::Mode mode, QPointer<CopiedText> &held)
{
    if (selectionStart() == selectionEnd())
        return;
    auto *text = new CopiedText(*this, selectionStart(), selectionEnd());
    QApplication::clipboard()->setMimeData(text, mode); // the clipboard owns it
    held = text;
}

void LogView::updateMetrics()
{
    const QFontMetricsF metrics(font());
    characterWidth = std::max<qreal>(metrics.horizontalAdvance(u'0'), 1);
    lineHeight = std::max(qCeil(metrics.lineSpacing()), 1);
    widestLine = 0;
    layouts.clear();
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(2);
    updateScrollBars();
}

int LogView::visibleRows() const
{
    return std::max((viewport()->height() - margin) / lineHeight, 1);
}

qsizetype LogView::visibleColumns() const
{
    return std::max(static_cast<qsizetype>((viewport()->width() - 2 * margin) / characterWidth), qsizetype{1});
}

qreal LogView::scrolledBy() const
{
    return horizontalScrollBar()->value() * characterWidth;
}

bool LogView::isLong(qsizetype line) const
{
    return content.lineEnd(line) - content.lineStart(line) > longLine;
}

void LogView::updateScrollBars()
{
    const int rows = visibleRows();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setPageStep(rows);
    vertical->setRange(0, toInt(std::max<qsizetype>(content.lineCount() - rows, 0)));
    const qsizetype longest = content.longestLineLength();
    const auto widest = std::max(static_cast<qsizetype>(std::ceil(widestLine / characterWidth)), std::min(longest, longLine));
    // A long line's last character can stand at the left edge: then the widest characters before
    // it cannot keep its end out of reach.
    const qsizetype columns = longest > longLine ? std::max(widest + 1 - visibleColumns(), longest - 1) : widest + 1 - visibleColumns();
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setPageStep(toInt(visibleColumns()));
    horizontal->setRange(0, toInt(std::max<qsizetype>(columns, 0)));
}

std::shared_ptr<QTextLayout> LogView::laidOut(const QString &text, const QFont &font, qreal tabStop)
{
    auto layout = std::make_shared<QTextLayout>(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(tabStop);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    layout->createLine().setPosition({0, 0});
    layout->endLayout();
    return layout;
}

const LogView::LineLayout &LogView::layoutLine(qsizetype line) const
{
    const qsizetype start = content.lineStart(line);
    const qsizetype end = content.lineEnd(line);
    qsizetype from = start;
    qsizetype to = end;
    qsizetype anchor = start;
    if (end - start > longLine) {
        anchor = std::min(start + horizontalScrollBar()->value(), end);
        from = std::max(anchor - layoutContext, start);
        to = std::min(anchor + visibleColumns() + layoutContext, end);
    }
    QString text = content.mid(from, to);
    // A stretch must not split a character in two.
    if (from > start && !text.isEmpty() && text.front().isLowSurrogate()) {
        text.remove(0, 1);
        ++from;
    }
    if (to < end && !text.isEmpty() && text.back().isHighSurrogate())
        text.chop(1);
    auto cached = std::ranges::find_if(layouts, [&](const LineLayout &candidate) {
        return candidate.line == line && candidate.start == from && candidate.layout->text() == text;
    });
    if (cached == layouts.end()) {
        // Enough for the rows on screen and those the last paint showed.
        if (std::cmp_greater(layouts.size(), 2 * visibleRows() + 4))
            layouts.erase(layouts.begin());
        layouts.push_back({laidOut(text, font(), tabColumns * characterWidth), line, from, 0});
        cached = std::prev(layouts.end());
    }
    cached->x = static_cast<qreal>(anchor - start) * characterWidth - cached->layout->lineAt(0).cursorToX(toInt(anchor - from));
    return *cached;
}

void LogView::paintEvent(QPaintEvent * /*event*/)
{
    sincePaint.start();
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const qsizetype first = verticalScrollBar()->value();
    const qsizetype last = std::min(content.lineCount(), first + visibleRows() + 1);
    const qreal across = scrolledBy();
    qreal widest = widestLine;
    for (qsizetype line = first; line < last; ++line) {
        const LineLayout &laidOut = layoutLine(line);
        const qsizetype layoutEnd = laidOut.start + laidOut.layout->text().size();
        const QList<QTextLayout::FormatRange> formats = formatsIn(laidOut.start, layoutEnd);
        const QPointF origin(margin + laidOut.x - across, margin + static_cast<qreal>((line - first) * lineHeight));
        laidOut.layout->draw(&painter, origin, formats);
        if (hasFocus() && cursor >= laidOut.start && cursor <= layoutEnd)
            laidOut.layout->drawCursor(&painter, origin, toInt(cursor - laidOut.start));
        if (!isLong(line))
            widest = std::max(widest, laidOut.layout->maximumWidth());
    }
    // Tabs and wide characters can make a line wider than its count of characters says.
    if (widest > widestLine) {
        widestLine = widest;
        QTimer::singleShot(0, this, &LogView::updateScrollBars);
    }
}

void LogView::addHighlighter(const LogHighlighter *highlighter)
{
    highlighters.push_back(highlighter);
    scheduleRepaint();
}

void LogView::highlightsChanged()
{
    scheduleRepaint();
}

// QTextLayout paints overlapping ranges by rules of its own (a later colour of text alone is
// dropped where an earlier one painted text), so the layers are merged here into ranges that
// do not overlap, each later layer's properties winning.
QList<QTextLayout::FormatRange> LogView::formatsIn(qsizetype start, qsizetype end) const
{
    std::vector<LogHighlight> layers;
    for (const LogHighlighter *highlighter : highlighters)
        highlighter->highlightsIn(start, end, layers);
    if (selectionStart() < selectionEnd()) {
        QTextCharFormat selected;
        selected.setBackground(palette().brush(QPalette::Highlight));
        selected.setForeground(palette().brush(QPalette::HighlightedText));
        layers.push_back({selectionStart(), selectionEnd(), selected});
    }
    std::vector<qsizetype> edges;
    for (LogHighlight &layer : layers) {
        layer.start = std::clamp(layer.start, start, end);
        layer.end = std::clamp(layer.end, start, end);
        edges.insert(edges.end(), {layer.start, layer.end});
    }
    std::ranges::sort(edges);
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    QList<QTextLayout::FormatRange> ranges;
    for (std::size_t edge = 1; edge < edges.size(); ++edge) {
        QTextCharFormat format;
        bool covered = false;
        for (const LogHighlight &layer : layers) {
            if (layer.start <= edges[edge - 1] && layer.end >= edges[edge]) {
                format.merge(layer.format);
                covered = true;
            }
        }
        const int from = toInt(edges[edge - 1] - start);
        const int length = toInt(edges[edge] - edges[edge - 1]);
        if (!covered)
            continue;
        if (!ranges.isEmpty() && ranges.back().start + ranges.back().length == from && ranges.back().format == format)
            ranges.back().length += length;
        else
            ranges.append({from, length, format});
    }
    return ranges;
}

qsizetype LogView::positionAt(QPoint point) const
{
    const qsizetype row = (point.y() - margin) < 0 ? -1 : (point.y() - margin) / lineHeight;
    const qsizetype line = std::clamp<qsizetype>(verticalScrollBar()->value() + row, 0, content.lineCount() - 1);
    const LineLayout &laidOut = layoutLine(line);
    const qreal x = point.x() - margin + scrolledBy() - laidOut.x;
    return laidOut.start + laidOut.layout->lineAt(0).xToCursor(x);
}

QRectF LogView::characterArea(qsizetype position) const
{
    const qsizetype line = content.lineAt(position);
    const LineLayout &laidOut = layoutLine(line);
    const qsizetype offset = position - laidOut.start;
    const qsizetype laidOutSize = laidOut.layout->text().size();
    const QTextLine textLine = laidOut.layout->lineAt(0);
    // Beyond the stretch laid out, a character stands where it would as the first one shown.
    const qreal left = offset >= 0 && offset <= laidOutSize ? laidOut.x + textLine.cursorToX(toInt(offset))
                                                            : static_cast<qreal>(position - content.lineStart(line)) * characterWidth;
    const qreal right = offset >= 0 && offset < laidOutSize ? laidOut.x + textLine.cursorToX(toInt(offset + 1)) : left + characterWidth;
    const qreal top = margin + static_cast<qreal>((line - verticalScrollBar()->value()) * lineHeight);
    return {margin + left - scrolledBy(), top, std::max(right - left, 1.0), static_cast<qreal>(lineHeight)};
}

QRect LogView::characterRect(qsizetype position) const
{
    return clampedRect(characterArea(position));
}

qsizetype LogView::firstShowing(qsizetype line, qsizetype position) const
{
    const qsizetype start = content.lineStart(line);
    const qsizetype end = content.lineEnd(line);
    const qsizetype from = std::max(position - visibleColumns(), start);
    const auto layout = laidOut(content.mid(from, std::min(position + 2, end)), font(), tabColumns * characterWidth);
    const QTextLine textLine = layout->lineAt(0);
    const qsizetype after = std::min(position + 1, end) - from;
    const qreal right = textLine.cursorToX(toInt(after)) + (position == end ? characterWidth : 0);
    const qreal left = right - (viewport()->width() - 2 * margin);
    auto first = static_cast<qsizetype>(textLine.xToCursor(std::max<qreal>(left, 0)));
    while (first < after && textLine.cursorToX(toInt(first)) < left)
        ++first;
    return from + std::min(first, position - from);
}

void LogView::ensureVisible(qsizetype position)
{
    const qsizetype line = content.lineAt(position);
    QScrollBar *vertical = verticalScrollBar();
    if (line < vertical->value())
        vertical->setValue(toInt(line));
    else if (line >= vertical->value() + visibleRows())
        vertical->setValue(toInt(line - visibleRows() + 1));
    const QRectF character = characterArea(position);
    const qreal right = viewport()->width() - margin;
    QScrollBar *horizontal = horizontalScrollBar();
    const bool leftOfView = character.left() < margin;
    if (!leftOfView && character.right() <= right)
        return;
    if (isLong(line)) {
        horizontal->setValue(toInt((leftOfView ? position : firstShowing(line, position)) - content.lineStart(line)));
        return;
    }
    const qreal by = leftOfView ? std::floor((character.left() - margin) / characterWidth) : std::ceil((character.right() - right) / characterWidth);
    horizontal->setValue(horizontal->value() + static_cast<int>(by));
}

void LogView::pageAcross(int action)
{
    if (action != QAbstractSlider::SliderPageStepAdd && action != QAbstractSlider::SliderPageStepSub)
        return;
    QScrollBar *bar = horizontalScrollBar();
    qsizetype target = bar->sliderPosition();
    const qreal right = scrolledBy() + viewport()->width() - 2 * margin;
    const qsizetype first = verticalScrollBar()->value();
    for (qsizetype line = first; line < std::min(content.lineCount(), first + visibleRows()); ++line) {
        const qsizetype start = content.lineStart(line);
        const qsizetype anchor = start + bar->value();
        if (!isLong(line) || anchor >= content.lineEnd(line))
            continue;
        if (action == QAbstractSlider::SliderPageStepSub) {
            target = std::max(target, firstShowing(line, anchor - 1) - start);
            continue;
        }
        const LineLayout &laidOut = layoutLine(line);
        const QTextLine textLine = laidOut.layout->lineAt(0);
        auto next = static_cast<qsizetype>(textLine.xToCursor(right - laidOut.x));
        while (next > 0 && laidOut.x + textLine.cursorToX(toInt(next)) > right)
            --next;
        target = std::min(target, std::max(laidOut.start + next, anchor + 1) - start);
    }
    bar->setSliderPosition(toInt(target));
}

qsizetype LogView::runEnd(qsizetype position, qsizetype limit, bool word) const
{
    limit = std::min(limit, position + wordReach);
    while (position < limit) {
        const QString piece = content.mid(position, std::min(position + wordPiece, limit));
        const auto *const run = std::ranges::find_if(piece, [&](QChar character) { return isWordCharacter(character) != word; });
        position += run - piece.begin();
        if (run != piece.end())
            break;
    }
    return position;
}

qsizetype LogView::runStart(qsizetype position, qsizetype limit, bool word) const
{
    limit = std::max(limit, position - wordReach);
    while (position > limit) {
        const QString piece = content.mid(std::max(position - wordPiece, limit), position);
        const auto run = std::find_if(piece.rbegin(), piece.rend(), [&](QChar character) { return isWordCharacter(character) != word; });
        position -= run - piece.rbegin();
        if (run != piece.rend())
            break;
    }
    return position;
}

qsizetype LogView::wordStart(qsizetype position) const
{
    return runStart(position, lineStartAt(position), true);
}

qsizetype LogView::wordEnd(qsizetype position) const
{
    return runEnd(position, lineEndAt(position), true);
}

qsizetype LogView::movedCursor(int motion) const
{
    const qsizetype line = content.lineAt(cursor);
    const qsizetype column = cursor - content.lineStart(line);
    const auto toLine = [&](qsizetype target) {
        target = std::clamp<qsizetype>(target, 0, content.lineCount() - 1);
        return std::min(content.lineStart(target) + column, content.lineEnd(target));
    };
    switch (motion) {
    case NextCharacter:
        return std::min(cursor + 1, content.size());
    case PreviousCharacter:
        return std::max<qsizetype>(cursor - 1, 0);
    case NextWord:
        if (cursor == content.lineEnd(line))
            return std::min(cursor + 1, content.size());
        return runEnd(runEnd(cursor, content.lineEnd(line), true), content.lineEnd(line), false);
    case PreviousWord:
        if (cursor == content.lineStart(line))
            return std::max<qsizetype>(cursor - 1, 0);
        return runStart(runStart(cursor, content.lineStart(line), false), content.lineStart(line), true);
    case NextLine:
        return line + 1 < content.lineCount() ? toLine(line + 1) : content.size();
    case PreviousLine:
        return line > 0 ? toLine(line - 1) : 0;
    case StartOfLine:
        return content.lineStart(line);
    case EndOfLine:
        return content.lineEnd(line);
    case StartOfDocument:
        return 0;
    case EndOfDocument:
        return content.size();
    case NextPage:
        return toLine(line + visibleRows());
    case PreviousPage:
        return toLine(line - visibleRows());
    default:
        return cursor;
    }
}

void LogView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    for (const KeyMotion &keyMotion : keyMotions) {
        const bool selecting = event->matches(keyMotion.select);
        if (selecting || event->matches(keyMotion.move)) {
            const qsizetype moved = movedCursor(keyMotion.motion);
            setSelection(selecting ? anchor : moved, moved);
            ensureVisible(moved);
            return;
        }
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void LogView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const qsizetype position = positionAt(event->position().toPoint());
    setSelection((event->modifiers() & Qt::ShiftModifier) != 0 ? anchor : position, position);
}

void LogView::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton) == 0)
        return;
    const QPoint point = event->position().toPoint();
    // Dragging past an edge scrolls on, so a selection can grow beyond what is shown.
    if (point.y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (point.x() < 0)
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.x() > viewport()->width())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    setSelection(anchor, positionAt(point));
}

void LogView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && QApplication::clipboard()->supportsSelection())
        copyTo(QClipboard::Selection, selected);
}

void LogView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const qsizetype position = positionAt(event->position().toPoint());
    setSelection(wordStart(position), wordEnd(position));
}

void LogView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(tr("&Copy"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(selectionStart() != selectionEnd());
    connect(copyAction, &QAction::triggered, this, &LogView::copy);
    menu.addSeparator();
    QAction *selectAllAction = menu.addAction(tr("Select All"));
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    connect(selectAllAction, &QAction::triggered, this, &LogView::selectAll);
    menu.exec(event->globalPos());
}

void LogView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void LogView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
}

void LogView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LogView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void LogView::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    scheduleRepaint();
}
