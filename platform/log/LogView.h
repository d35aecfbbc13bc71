#pragma once

#include "platform/log/LogText.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <memory>

class QTextLayout;

// The log: read-only, yet selectable by mouse and keyboard and copyable, in a fixed-width font,
// readable by screen readers. Its text is only ever replaced whole or extended at its end; lines
// end at '\n', as OutputTextDecoder leaves them. Lines are not wrapped; the horizontal scroll bar
// reaches long ones. Only the visible lines are ever laid out, so appending, scrolling and painting
// cost the same however long the log grows. Positions count UTF-16 units of text().
class LogView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit LogView(QWidget *parent = nullptr);
    LogView(const LogView &) = delete;
    LogView &operator=(const LogView &) = delete;
    ~LogView() override;

    [[nodiscard]] QString text() const { return content.mid(0, content.size()); }
    void replaceText(const QString &text);
    // Throws std::bad_alloc when memory runs out, showing the part of the text that fit.
    void appendText(const QString &text);
    // Ends the log with a short Latin-1 note on a line of its own, even once memory has run out.
    void appendNote(QStringView note);
    // Brings the end of the text into view, whatever the user scrolled to.
    void scrollToEnd();

    [[nodiscard]] qsizetype length() const noexcept { return content.size(); }
    [[nodiscard]] QString textRange(qsizetype from, qsizetype to) const { return content.mid(from, to); }
    [[nodiscard]] qsizetype lineStartAt(qsizetype position) const { return content.lineStart(content.lineAt(position)); }
    [[nodiscard]] qsizetype lineEndAt(qsizetype position) const { return content.lineEnd(content.lineAt(position)); }

    [[nodiscard]] qsizetype cursorPosition() const noexcept { return cursor; }
    [[nodiscard]] qsizetype selectionStart() const noexcept { return std::min(anchor, cursor); }
    [[nodiscard]] qsizetype selectionEnd() const noexcept { return std::max(anchor, cursor); }
    [[nodiscard]] QString selectedText() const { return content.mid(selectionStart(), selectionEnd()); }
    // Selects from anchorPosition to cursorPosition, where the cursor then stands.
    void setSelection(qsizetype anchorPosition, qsizetype cursorPosition);
    void selectAll();
    void copy() const;

    // Both in the viewport's coordinates.
    [[nodiscard]] qsizetype positionAt(QPoint point) const;
    [[nodiscard]] QRect characterRect(qsizetype position) const;
    void ensureVisible(qsizetype position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // One line laid out, or for a very long line only the stretch around the visible columns.
    struct LineLayout
    {
        std::unique_ptr<QTextLayout> layout;
        qsizetype start = 0; // position of the layout's first character
        qreal x = 0; // where it starts, in content coordinates
    };

    [[nodiscard]] LineLayout layoutLine(qsizetype line) const;
    void showAppended(qsizetype at, qsizetype lastLine, const QString *appended = nullptr);
    [[nodiscard]] int visibleRows() const;
    [[nodiscard]] qsizetype wordStart(qsizetype position) const;
    [[nodiscard]] qsizetype wordEnd(qsizetype position) const;
    [[nodiscard]] qsizetype movedCursor(int motion) const;
    // Output can arrive thousands of times a second; the screen needs it at most once a frame.
    void scheduleRepaint();
    void updateMetrics();
    void updateScrollBars();
    void selectionChanged();

    LogText content;
    qsizetype anchor = 0;
    qsizetype cursor = 0;
    qreal characterWidth = 1;
    int lineHeight = 1;
    QElapsedTimer sincePaint;
    QTimer repaintTimer;
    qreal widestLine = 0; // widest line painted so far, where it exceeds the character count's guess
};
