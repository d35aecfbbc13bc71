#include "platform/log/LogViewAccessible.h"

#include "platform/log/LogView.h"

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

// Lines are answered from the log's own index; other boundaries need the text around the offset,
// which the general helper takes from the whole text.
QString LogViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                        int *endOffset) const
{
    if (boundaryType != QAccessible::LineBoundary)
        return QAccessibleTextInterface::textAtOffset(offset, boundaryType, startOffset, endOffset);
    const LogView *log = view();
    if (offset < 0 || offset > log->length()) {
        *startOffset = *endOffset = -1;
        return {};
    }
    *startOffset = static_cast<int>(log->lineStartAt(offset));
    *endOffset = static_cast<int>(std::min(log->lineEndAt(offset) + 1, log->length()));
    return log->textRange(*startOffset, *endOffset);
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
