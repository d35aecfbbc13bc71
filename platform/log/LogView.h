#pragma once

#include "platform/log/LogAnnouncer.h"
#include "platform/log/LogCaret.h"
#include "platform/log/LogHighlighter.h"
#include "platform/log/LogLayout.h"
#include "platform/log/LogText.h"

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

class CopiedText;
class QPainter;

// The log: read-only, yet selectable by mouse and keyboard and copyable, in a fixed-width font,
// readable by screen readers. Its text is only ever replaced whole or extended at its end; lines
// end at '\n', as OutputTextDecoder leaves them. Lines are not wrapped; the horizontal scroll bar,
// which counts character columns, reaches every character of any line. LogLayout lays out only
// what is shown, so appending, scrolling, painting, moving by words and answering accessibility
// tools cost the same however long the log or a line grows. Positions count UTF-16 units of text().
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
    [[nodiscard]] const LogText &logText() const noexcept { return content; }
    [[nodiscard]] QString textRange(qsizetype from, qsizetype to) const { return content.mid(from, to); }
    [[nodiscard]] qsizetype lineStartAt(qsizetype position) const { return content.lineStart(content.lineAt(position)); }
    [[nodiscard]] qsizetype lineEndAt(qsizetype position) const { return content.lineEnd(content.lineAt(position)); }
    // The word, as double-clicks and word motion know it, that the character at position belongs to.
    [[nodiscard]] std::pair<qsizetype, qsizetype> wordAt(qsizetype position) const { return caret.wordAt(position); }

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
    // order added, each later one on top, and the selection on top of all. Of a format, only the
    // colours of the text (foreground) and of its background are painted.
    void addHighlighter(const LogHighlighter *highlighter);
    // Repaints, at most once a frame, after a highlighter's answers changed.
    void highlightsChanged();

    // Both in the viewport's coordinates.
    [[nodiscard]] qsizetype positionAt(QPoint point) const;
    [[nodiscard]] QRect characterRect(qsizetype position) const;
    void ensureVisible(qsizetype position);

signals:
    void textReplaced();
    // Text was added from position to the end; appended is that text, valid during the emission.
    void textAppended(qsizetype position, QStringView appended);

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
    // The layout for the page the scroll bars and the viewport show now.
    [[nodiscard]] const LogLayout &page() const;
    void showAppended(qsizetype at, qsizetype lastLine, QStringView appended);
    void finishCopies();
    // Pages across so that no character of a visible line is passed over, however wide.
    void pageAcross(int action);
    void copyTo(QClipboard::Mode mode, QPointer<CopiedText> &held);
    // Output can arrive thousands of times a second; the screen needs it at most once a frame.
    void scheduleRepaint();
    void updateMetrics();
    void updateScrollBars();
    void selectionChanged();
    // The line's text up to end, its highlights and the selection.
    void paintLine(QPainter &painter, const LogLayout::Line &laidOut, qsizetype end) const;

    LogText content;
    mutable LogLayout layout{content};
    LogCaret caret{content};
    LogAnnouncer announcer{this, content};
    qsizetype anchor = 0;
    qsizetype cursor = 0;
    QElapsedTimer sincePaint;
    QTimer repaintTimer;
    std::vector<const LogHighlighter *> highlighters;
    QPointer<CopiedText> copied;
    QPointer<CopiedText> selected;
};
