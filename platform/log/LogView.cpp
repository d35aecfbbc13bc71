#include "platform/log/LogView.h"

#include "platform/log/CopiedText.h"
#include "platform/log/HighlightLayers.h"
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
#include <QTimer>

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <utility>

namespace {

constexpr qint64 frameMilliseconds = 16;

struct KeyMotion
{
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey select;
    LogCaret::Motion motion;
};

constexpr std::array keyMotions{
    KeyMotion{QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, LogCaret::NextCharacter},
    KeyMotion{QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, LogCaret::PreviousCharacter},
    KeyMotion{QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, LogCaret::NextWord},
    KeyMotion{QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, LogCaret::PreviousWord},
    KeyMotion{QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, LogCaret::NextLine},
    KeyMotion{QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, LogCaret::PreviousLine},
    KeyMotion{QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, LogCaret::StartOfLine},
    KeyMotion{QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, LogCaret::EndOfLine},
    KeyMotion{QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, LogCaret::StartOfDocument},
    KeyMotion{QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, LogCaret::EndOfDocument},
    KeyMotion{QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, LogCaret::NextPage},
    KeyMotion{QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, LogCaret::PreviousPage},
};

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
    content.clear();
    content.append(text);
    anchor = cursor = 0;
    layout.forgetWidths();
    updateScrollBars();
    viewport()->update();
    announcer.replaced(text);
    emit textReplaced();
}

void LogView::appendText(const QString &text)
{
    const qsizetype end = content.size();
    const qsizetype lastLine = content.lineCount() - 1;
    try {
        content.append(text);
    } catch (const std::bad_alloc &) {
        showAppended(end, lastLine, QStringView(text).first(content.size() - end));
        throw;
    }
    showAppended(end, lastLine, text);
}

void LogView::appendNote(QStringView note)
{
    const qsizetype end = content.size();
    const qsizetype lastLine = content.lineCount() - 1;
    content.appendNote(note);
    showAppended(end, lastLine, content.mid(end, content.size()));
}

void LogView::showAppended(qsizetype at, qsizetype lastLine, QStringView appended)
{
    if (content.size() == at)
        return;
    emit textAppended(at, appended);
    updateScrollBars();
    if (lastLine <= verticalScrollBar()->value() + page().rows())
        scheduleRepaint();
    announcer.appendedFrom(at);
}

void LogView::scrollToEnd()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
    // Most output ends in a short last line of narrow characters, which needs no layout to show.
    const qsizetype lastLine = content.lineStart(content.lineCount() - 1);
    if (horizontalScrollBar()->value() == 0 && content.size() - lastLine < page().columns()
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
    announcer.selectionMoved(cursor, selectionStart(), selectionEnd());
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
    layout.setFont(font());
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(2);
    updateScrollBars();
}

const LogLayout &LogView::page() const
{
    layout.setPage(verticalScrollBar()->value(), horizontalScrollBar()->value(), viewport()->size());
    return layout;
}

void LogView::updateScrollBars()
{
    const LogLayout &shown = page();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setPageStep(shown.rows());
    vertical->setRange(0, toInt(shown.lastFirstLine()));
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setPageStep(toInt(shown.columns()));
    horizontal->setRange(0, toInt(shown.lastFirstColumn()));
}

void LogView::paintEvent(QPaintEvent * /*event*/)
{
    sincePaint.start();
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const LogLayout &shown = page();
    const qsizetype first = verticalScrollBar()->value();
    for (qsizetype line = first; line < std::min(content.lineCount(), first + shown.rows() + 1); ++line) {
        const LogLayout::Line &laidOut = shown.line(line);
        const qsizetype layoutEnd = laidOut.start + laidOut.layout->text().size();
        paintLine(painter, laidOut, layoutEnd);
        if (hasFocus() && cursor >= laidOut.start && cursor <= layoutEnd)
            laidOut.layout->drawCursor(&painter, laidOut.origin, toInt(cursor - laidOut.start));
    }
    // Tabs and wide characters can make a line wider than its count of characters says.
    if (shown.lastFirstColumn() > horizontalScrollBar()->maximum())
        QTimer::singleShot(0, this, &LogView::updateScrollBars);
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

void LogView::paintLine(QPainter &painter, const LogLayout::Line &laidOut, qsizetype end) const
{
    std::vector<LogHighlight> layers;
    for (const LogHighlighter *highlighter : highlighters)
        highlighter->highlightsIn(laidOut.start, end, layers);
    if (selectionStart() < selectionEnd()) {
        QTextCharFormat selected;
        selected.setBackground(palette().brush(QPalette::Highlight));
        selected.setForeground(palette().brush(QPalette::HighlightedText));
        layers.push_back({selectionStart(), selectionEnd(), selected});
    }
    const QList<HighlightLayers::Stretch> stretches = HighlightLayers::flattened(layers, laidOut.start, end);
    if (stretches.isEmpty()) {
        laidOut.layout->draw(&painter, laidOut.origin);
        return;
    }
    // The text is drawn once for each colour, with the painter clipped to rectangles: drawing it
    // once for each stretch, clipped to paths, is what QTextLayout's selections cost.
    QRegion plain(0, toInt(static_cast<qsizetype>(laidOut.origin.y())), viewport()->width(), layout.lineHeight());
    std::vector<std::pair<QBrush, QRegion>> coloured;
    for (const HighlightLayers::Stretch &stretch : stretches) {
        const QRegion area = layout.areaOf(laidOut, stretch.start, stretch.end);
        for (const QRect &piece : area) {
            if (stretch.background.style() != Qt::NoBrush)
                painter.fillRect(piece, stretch.background);
        }
        if (stretch.foreground.style() == Qt::NoBrush || area.isEmpty())
            continue;
        plain -= area;
        // Stretches come in the text's order, left to right unless written right to left, so an
        // area is mostly appended to its region, not merged.
        auto same = std::ranges::find(coloured, stretch.foreground, &std::pair<QBrush, QRegion>::first);
        (same == coloured.end() ? coloured.emplace_back(stretch.foreground, QRegion()) : *same).second += area;
    }
    coloured.emplace(coloured.begin(), painter.pen().brush(), plain);
    for (const auto &[brush, region] : coloured) {
        // Restored after each pass: clip regions set in turn, without, leaked into the next pass.
        painter.save();
        painter.setPen(QPen(brush, 1));
        painter.setClipRegion(region);
        laidOut.layout->draw(&painter, laidOut.origin);
        painter.restore();
    }
}

qsizetype LogView::positionAt(QPoint point) const
{
    return page().positionAt(point);
}

QRect LogView::characterRect(qsizetype position) const
{
    return clampedRect(page().characterArea(position));
}

void LogView::ensureVisible(qsizetype position)
{
    const auto [line, column] = page().pageShowing(position);
    verticalScrollBar()->setValue(toInt(line));
    horizontalScrollBar()->setValue(toInt(column));
}

void LogView::pageAcross(int action)
{
    if (action != QAbstractSlider::SliderPageStepAdd && action != QAbstractSlider::SliderPageStepSub)
        return;
    QScrollBar *bar = horizontalScrollBar();
    bar->setSliderPosition(toInt(page().pagedAcross(action == QAbstractSlider::SliderPageStepAdd, bar->sliderPosition())));
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
            const qsizetype moved = caret.moved(cursor, keyMotion.motion, page().rows());
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
    const auto [start, end] = caret.wordAt(page().positionAt(event->position(), QTextLine::CursorOnCharacter));
    setSelection(start, end);
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
