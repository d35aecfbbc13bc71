#pragma once

#include <QAccessibleWidget>

class LogView;

// What screen readers and other accessibility tools see of the log: a read-only, multi-line text
// whose characters, selection and cursor they can read, and whose selection they can set. Every
// query at an offset reads only the text near it: a line, or the whole text, longer than a bounded
// stretch is answered in stretches of it. Words are the log view's own (LogCaret).
class LogViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit LogViewAccessible(LogView *view);

    // For QAccessible::installFactory: answers for LogView objects only.
    static QAccessibleInterface *create(const QString &className, QObject *object);

    [[nodiscard]] QAccessible::State state() const override;
    void *interface_cast(QAccessible::InterfaceType type) override;
    [[nodiscard]] QString text(QAccessible::Text kind) const override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    [[nodiscard]] int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    [[nodiscard]] int cursorPosition() const override;
    void setCursorPosition(int position) override;
    [[nodiscard]] QString text(int startOffset, int endOffset) const override;
    [[nodiscard]] QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                       int *endOffset) const override;
    [[nodiscard]] QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                           int *endOffset) const override;
    [[nodiscard]] QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                                          int *endOffset) const override;
    [[nodiscard]] int characterCount() const override;
    [[nodiscard]] QRect characterRect(int offset) const override;
    [[nodiscard]] int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    [[nodiscard]] QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    [[nodiscard]] LogView *view() const;
};
