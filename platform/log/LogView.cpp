#include "platform/log/LogView.h"

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

#include <array>
#include <cmath>
#include <new>

namespace {

constexpr int margin = 4;
// Lines longer than this are laid out only around the visible columns.
constexpr qsizetype longLine = 4096;
constexpr int tabColumns = 8;
constexpr qint64 frameMilliseconds = 16;

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

LogView::~LogView() = default;

void LogView::replaceText(const QString &text)
{
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
    showAppended(end, lastLine, &text);
}

void LogView::appendNote(QStringView note)
{
    const qsizetype end = content.size();
    const qsizetype lastLine = content.lineCount() - 1;
    content.appendNote(note);
    showAppended(end, lastLine);
}

// Without the text appended at hand, what accessibility tools are told is read back from the log.
void LogView::showAppended(qsizetype at, qsizetype lastLine, const QString *appended)
{
    if (content.size() == at)
        return;
    updateScrollBars();
    if (lastLine <= verticalScrollBar()->value() + visibleRows())
        scheduleRepaint();
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent inserted(this, toInt(at), appended != nullptr ? *appended : content.mid(at, content.size()));
        QAccessible::updateAccessibility(&inserted);
    }
}

void LogView::scrollToEnd()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
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

void LogView::copy() const
{
    if (selectionStart() != selectionEnd())
        QApplication::clipboard()->setText(selectedText());
}

void LogView::updateMetrics()
{
    const QFontMetricsF metrics(font());
    characterWidth = std::max<qreal>(metrics.horizontalAdvance(u'0'), 1);
    lineHeight = std::max(qCeil(metrics.lineSpacing()), 1);
    widestLine = 0;
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(qCeil(characterWidth * 2));
    updateScrollBars();
}

int LogView::visibleRows() const
{
    return std::max((viewport()->height() - margin) / lineHeight, 1);
}

void LogView::updateScrollBars()
{
    const int rows = visibleRows();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setPageStep(rows);
    vertical->setRange(0, toInt(std::max<qsizetype>(content.lineCount() - rows, 0)));
    const qreal width = std::max(widestLine, static_cast<qreal>(content.longestLineLength()) * characterWidth) + 2 * margin;
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setPageStep(viewport()->width());
    horizontal->setRange(0, std::max(qCeil(width) - viewport()->width(), 0));
}

LogView::LineLayout LogView::layoutLine(qsizetype line) const
{
    const qsizetype start = content.lineStart(line);
    const qsizetype end = content.lineEnd(line);
    qsizetype from = start;
    qsizetype to = end;
    if (end - start > longLine) {
        const auto firstColumn = static_cast<qsizetype>(horizontalScrollBar()->value() / characterWidth);
        const auto columns = static_cast<qsizetype>(viewport()->width() / characterWidth);
        from = std::min(start + std::max<qsizetype>(firstColumn - longLine / 2, 0), end);
        to = std::min(from + columns + longLine, end);
    }
    LineLayout laidOut{std::make_unique<QTextLayout>(content.mid(from, to), font()), from,
                       static_cast<qreal>(from - start) * characterWidth};
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(tabColumns * characterWidth);
    laidOut.layout->setTextOption(option);
    laidOut.layout->setCacheEnabled(true);
    laidOut.layout->beginLayout();
    laidOut.layout->createLine().setPosition({0, 0});
    laidOut.layout->endLayout();
    return laidOut;
}

void LogView::paintEvent(QPaintEvent * /*event*/)
{
    sincePaint.start();
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const qsizetype first = verticalScrollBar()->value();
    const qsizetype last = std::min(content.lineCount(), first + visibleRows() + 1);
    const int scrolledBy = horizontalScrollBar()->value();
    QTextLayout::FormatRange selected;
    selected.format.setBackground(palette().brush(QPalette::Highlight));
    selected.format.setForeground(palette().brush(QPalette::HighlightedText));
    qreal widest = widestLine;
    for (qsizetype line = first; line < last; ++line) {
        const LineLayout laidOut = layoutLine(line);
        const qsizetype layoutEnd = laidOut.start + laidOut.layout->text().size();
        QList<QTextLayout::FormatRange> selections;
        if (selectionStart() < layoutEnd && selectionEnd() > laidOut.start) {
            selected.start = toInt(std::max(selectionStart(), laidOut.start) - laidOut.start);
            selected.length = toInt(std::min(selectionEnd(), layoutEnd) - laidOut.start) - selected.start;
            selections.append(selected);
        }
        const QPointF origin(margin + laidOut.x - scrolledBy, margin + static_cast<qreal>((line - first) * lineHeight));
        laidOut.layout->draw(&painter, origin, selections);
        if (hasFocus() && cursor >= laidOut.start && cursor <= layoutEnd)
            laidOut.layout->drawCursor(&painter, origin, toInt(cursor - laidOut.start));
        widest = std::max(widest, laidOut.x + laidOut.layout->maximumWidth());
    }
    // Tabs and wide characters can make a line wider than its count of characters says.
    if (widest > widestLine) {
        widestLine = widest;
        QTimer::singleShot(0, this, &LogView::updateScrollBars);
    }
}

qsizetype LogView::positionAt(QPoint point) const
{
    const qsizetype row = (point.y() - margin) < 0 ? -1 : (point.y() - margin) / lineHeight;
    const qsizetype line = std::clamp<qsizetype>(verticalScrollBar()->value() + row, 0, content.lineCount() - 1);
    const LineLayout laidOut = layoutLine(line);
    const qreal x = point.x() - margin + horizontalScrollBar()->value() - laidOut.x;
    return laidOut.start + laidOut.layout->lineAt(0).xToCursor(x);
}

QRect LogView::characterRect(qsizetype position) const
{
    const qsizetype line = content.lineAt(position);
    const LineLayout laidOut = layoutLine(line);
    const qsizetype offset = position - laidOut.start;
    const QTextLine textLine = laidOut.layout->lineAt(0);
    const qreal left = offset >= 0 && offset <= laidOut.layout->text().size()
        ? laidOut.x + textLine.cursorToX(toInt(offset))
        : static_cast<qreal>(position - content.lineStart(line)) * characterWidth;
    const qreal right = offset >= 0 && offset < laidOut.layout->text().size() ? laidOut.x + textLine.cursorToX(toInt(offset + 1))
                                                                              : left + characterWidth;
    const qreal top = margin + static_cast<qreal>((line - verticalScrollBar()->value()) * lineHeight);
    return QRectF(margin + left - horizontalScrollBar()->value(), top, std::max(right - left, 1.0), lineHeight).toRect();
}

void LogView::ensureVisible(qsizetype position)
{
    const qsizetype line = content.lineAt(position);
    QScrollBar *vertical = verticalScrollBar();
    if (line < vertical->value())
        vertical->setValue(toInt(line));
    else if (line >= vertical->value() + visibleRows())
        vertical->setValue(toInt(line - visibleRows() + 1));
    const QRect character = characterRect(position);
    QScrollBar *horizontal = horizontalScrollBar();
    if (character.left() < margin)
        horizontal->setValue(horizontal->value() + character.left() - margin);
    else if (character.right() > viewport()->width() - margin)
        horizontal->setValue(horizontal->value() + character.right() - viewport()->width() + margin);
}

qsizetype LogView::wordStart(qsizetype position) const
{
    const qsizetype start = lineStartAt(position);
    const QString line = content.mid(start, position);
    qsizetype at = line.size();
    while (at > 0 && isWordCharacter(line.at(at - 1)))
        --at;
    return start + at;
}

qsizetype LogView::wordEnd(qsizetype position) const
{
    const QString line = content.mid(position, lineEndAt(position));
    qsizetype at = 0;
    while (at < line.size() && isWordCharacter(line.at(at)))
        ++at;
    return position + at;
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
    case NextWord: {
        if (cursor == content.lineEnd(line))
            return std::min(cursor + 1, content.size());
        const QString rest = content.mid(cursor, content.lineEnd(line));
        qsizetype at = 0;
        while (at < rest.size() && isWordCharacter(rest.at(at)))
            ++at;
        while (at < rest.size() && !isWordCharacter(rest.at(at)))
            ++at;
        return cursor + at;
    }
    case PreviousWord: {
        if (cursor == content.lineStart(line))
            return std::max<qsizetype>(cursor - 1, 0);
        const QString before = content.mid(content.lineStart(line), cursor);
        qsizetype at = before.size();
        while (at > 0 && !isWordCharacter(before.at(at - 1)))
            --at;
        while (at > 0 && isWordCharacter(before.at(at - 1)))
            --at;
        return content.lineStart(line) + at;
    }
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
    QClipboard *clipboard = QApplication::clipboard();
    if (event->button() == Qt::LeftButton && clipboard->supportsSelection() && selectionStart() != selectionEnd())
        clipboard->setText(selectedText(), QClipboard::Selection);
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
