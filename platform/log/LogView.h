#pragma once

#include "platform/log/LogHighlighter.h"
#include "platform/log/LogText.h"

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QElapsedTimer>
#include <QPointer>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

class CopiedText;

// The log: read-only, yet selectable by mouse and keyboard and copyable, in a fixed-width font,
// readable by screen readers. Its text is only ever replaced whole or extended at its end; lines
// end at '\n', as OutputTextDecoder leaves them. Lines are not wrapped; the horizontal scroll bar,
// which counts character columns, reaches every character of any line. Only the visible lines are
// ever laid out, and only around the visible columns of a long line, so appending, scrolling,
// painting, moving by words and answering accessibility tools cost the same however long the log
// or a line grows. Positions count UTF-16 units of text().
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
    // Brings the end of the text into view, across and down, whatever the user scrolled to.
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
    // Copying a huge selection takes time, but the window keeps painting meanwhile.
    void copy();

    // Paints what highlighter names, which must outlive the view. Highlighters are painted in the
    // order added, each later one on top, and the selection on top of all. Formats colour the
    // text and its background; a change of font is not laid out again.
    void addHighlighter(const LogHighlighter *highlighter);
    // Repaints, at most once a frame, after a highlighter's answers changed.
    void highlightsChanged();

    // Both in the viewport's coordinates.
    [[nodiscard]] qsizetype positionAt(QPoint point) const;
    [[nodiscard]] QRect characterRect(qsizetype position) const;
    void ensureVisible(qsizetype position);

signals:
    void textReplaced();
    // Text was added from position to the end.
    void textAppended(qsizetype position);

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
    // One line laid out, or for a long line only the stretch around the visible columns. A long
    // line's character at the horizontal scroll bar's column stands at that column, whatever the
    // width of the characters before it, so its end is reached however wide they are.
    struct LineLayout
    {
        std::shared_ptr<QTextLayout> layout;
        qsizetype line = -1;
        qsizetype start = 0; // position of the layout's first character
        qreal x = 0; // where it starts, in content coordinates
    };

    [[nodiscard]] const LineLayout &layoutLine(qsizetype line) const;
    [[nodiscard]] static std::shared_ptr<QTextLayout> laidOut(const QString &text, const QFont &font, qreal tabStop);
    void showAppended(qsizetype at, qsizetype lastLine);
    void finishCopies();
    [[nodiscard]] int visibleRows() const;
    [[nodiscard]] qsizetype visibleColumns() const;
    [[nodiscard]] qreal scrolledBy() const;
    [[nodiscard]] bool isLong(qsizetype line) const;
    [[nodiscard]] QRectF characterArea(qsizetype position) const;
    // The first character of a long line to show so that the one at position ends at the right edge.
    [[nodiscard]] qsizetype firstShowing(qsizetype line, qsizetype position) const;
    // Where the run of word characters (or of others) from position ends, within [position, limit].
    [[nodiscard]] qsizetype runEnd(qsizetype position, qsizetype limit, bool word) const;
    [[nodiscard]] qsizetype runStart(qsizetype position, qsizetype limit, bool word) const;
    [[nodiscard]] qsizetype wordStart(qsizetype position) const;
    [[nodiscard]] qsizetype wordEnd(qsizetype position) const;
    [[nodiscard]] qsizetype movedCursor(int motion) const;
    // Pages across so that no character of a visible line is passed over, however wide.
    void pageAcross(int action);
    void copyTo(QClipboard::Mode mode, QPointer<CopiedText> &held);
    // Output can arrive thousands of times a second; the screen needs it at most once a frame.
    void scheduleRepaint();
    // Output is announced to accessibility tools once a frame, too.
    void announceFrom(qsizetype position);
    void announceAppended();
    void updateMetrics();
    void updateScrollBars();
    void selectionChanged();
    [[nodiscard]] QList<QTextLayout::FormatRange> formatsIn(qsizetype start, qsizetype end) const;

    LogText content;
    qsizetype anchor = 0;
    qsizetype cursor = 0;
    qreal characterWidth = 1;
    int lineHeight = 1;
    QElapsedTimer sincePaint;
    QTimer repaintTimer;
    QTimer announceTimer;
    qsizetype unannounced = -1; // where the output not yet announced starts
    qreal widestLine = 0; // widest short line painted so far, where it exceeds the character count's guess
    // The visible lines' layouts, kept between paints: shaping emoji or mixed scripts is slow.
    mutable std::vector<LineLayout> layouts;
    std::vector<const LogHighlighter *> highlighters;
    QPointer<CopiedText> copied;
    QPointer<CopiedText> selected;
};
