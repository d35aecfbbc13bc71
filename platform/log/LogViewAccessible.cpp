#include "platform/log/LogViewAccessible.h"

#include "platform/log/LogView.h"

#include <QTextBoundaryFinder>

namespace {

// How far from the offset a query reads: characters and sentences end long before, lines may not.
constexpr int boundaryReach = 4096;
constexpr qsizetype lineReach = 65536;

} // namespace

LogViewAccessible::LogViewAccessible(LogView *view)
    : QAccessibleWidget(view, QAccessible::EditableText)
{
}

QAccessibleInterface *LogViewAccessible::create(const QString &className, QObject *object)
{
    auto *view = qobject_cast<LogView *>(object);
    if (view == nullptr || className != QLatin1String("LogView"))
        return nullptr;
    return new LogViewAccessible(view);
}

LogView *LogViewAccessible::view() const
{
    return static_cast<LogView *>(widget()); // NOLINT(cppcoreguidelines-pro-type-static-cast-downcast): created for LogView only
}

QAccessible::State LogViewAccessible::state() const
{
    QAccessible::State current = QAccessibleWidget::state();
    current.readOnly = true;
    current.multiLine = true;
    current.selectableText = true;
    return current;
}

void *LogViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString LogViewAccessible::text(QAccessible::Text kind) const
{
    return QAccessibleWidget::text(kind);
}

void LogViewAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
    if (selectionIndex == 0 && selectionCount() == 1) {
        *startOffset = static_cast<int>(view()->selectionStart());
        *endOffset = static_cast<int>(view()->selectionEnd());
    }
}

int LogViewAccessible::selectionCount() const
{
    return view()->selectionStart() != view()->selectionEnd() ? 1 : 0;
}

void LogViewAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void LogViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        view()->setSelection(view()->cursorPosition(), view()->cursorPosition());
}

void LogViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        view()->setSelection(startOffset, endOffset);
}

int LogViewAccessible::cursorPosition() const
{
    return static_cast<int>(view()->cursorPosition());
}

void LogViewAccessible::setCursorPosition(int position)
{
    view()->setSelection(position, position);
}

QString LogViewAccessible::text(int startOffset, int endOffset) const
{
    return view()->textRange(startOffset, endOffset);
}

QString LogViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                        int *endOffset) const
{
    const LogView *log = view();
    const int count = characterCount();
    offset = offset == -1 ? count : offset;
    *startOffset = *endOffset = -1;
    if (count == 0 || offset < 0 || offset > count || (offset == count && boundaryType == QAccessible::CharBoundary))
        return {};
    // The whole text, as far as a line's stretch reaches either way.
    if (boundaryType == QAccessible::NoBoundary) {
        *startOffset = static_cast<int>(std::max<qsizetype>(qsizetype{offset} - lineReach, 0));
        *endOffset = static_cast<int>(std::min(qsizetype{count}, qsizetype{offset} + lineReach));
        return text(*startOffset, *endOffset);
    }
    if (boundaryType == QAccessible::LineBoundary || boundaryType == QAccessible::ParagraphBoundary) {
        *startOffset = static_cast<int>(std::max(log->lineStartAt(offset), qsizetype{offset} - lineReach));
        *endOffset = static_cast<int>(std::min({log->lineEndAt(offset) + 1, qsizetype{count}, qsizetype{offset} + lineReach}));
        return text(*startOffset, *endOffset);
    }
    if (boundaryType == QAccessible::WordBoundary) {
        const auto [start, end] = log->wordAt(offset);
        *startOffset = static_cast<int>(start);
        *endOffset = static_cast<int>(end);
        return text(*startOffset, *endOffset);
    }
    // As Qt's own answer, but from the stretch around the offset rather than the whole text.
    const int from = std::max(offset - boundaryReach, 0);
    const QString near = text(from, static_cast<int>(std::min<qsizetype>(qsizetype{offset} + boundaryReach, count)));
    QTextBoundaryFinder boundary(boundaryType == QAccessible::CharBoundary ? QTextBoundaryFinder::Grapheme : QTextBoundaryFinder::Sentence, near);
    constexpr auto itemEdge = QTextBoundaryFinder::StartOfItem | QTextBoundaryFinder::EndOfItem;
    boundary.setPosition(offset - from);
    while ((boundary.boundaryReasons() & itemEdge) == 0 && boundary.toPreviousBoundary() > 0) {
    }
    *startOffset = from + static_cast<int>(std::max<qsizetype>(boundary.position(), 0));
    while (boundary.toNextBoundary() >= 0 && boundary.position() < near.size() && (boundary.boundaryReasons() & itemEdge) == 0) {
    }
    *endOffset = from + static_cast<int>(boundary.position() < 0 ? near.size() : boundary.position());
    return near.mid(*startOffset - from, *endOffset - *startOffset);
}

QString LogViewAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                            int *endOffset) const
{
    int start = offset == -1 ? characterCount() : offset;
    int end = start;
    if (start < characterCount())
        static_cast<void>(textAtOffset(start, boundaryType, &start, &end));
    if (start <= 0) {
        *startOffset = *endOffset = -1;
        return {};
    }
    return textAtOffset(start - 1, boundaryType, startOffset, endOffset);
}

QString LogViewAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                           int *endOffset) const
{
    int start = -1;
    int end = -1;
    static_cast<void>(textAtOffset(offset, boundaryType, &start, &end));
    if (end < 0 || end >= characterCount()) {
        *startOffset = *endOffset = -1;
        return {};
    }
    return textAtOffset(end, boundaryType, startOffset, endOffset);
}

int LogViewAccessible::characterCount() const
{
    return static_cast<int>(std::min<qsizetype>(view()->length(), std::numeric_limits<int>::max()));
}

QRect LogViewAccessible::characterRect(int offset) const
{
    const QRect inViewport = view()->characterRect(offset);
    return {view()->viewport()->mapToGlobal(inViewport.topLeft()), inViewport.size()};
}

int LogViewAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint inViewport = view()->viewport()->mapFromGlobal(point);
    if (!view()->viewport()->rect().contains(inViewport))
        return -1;
    return static_cast<int>(view()->positionAt(inViewport));
}

void LogViewAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    view()->ensureVisible(endIndex);
    view()->ensureVisible(startIndex);
}

QString LogViewAccessible::attributes(int /*offset*/, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}
