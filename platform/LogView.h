#pragma once

#include <QPlainTextEdit>

// The log: read-only, yet selectable and copyable, in a fixed-width font. Its text is only ever
// replaced whole or extended at its end, never at the user's cursor or selection. A lone carriage
// return, which the renderer ends its progress lines with, shows as a line break; CR LF is one.
class LogView : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogView(QWidget *parent = nullptr);

    [[nodiscard]] QString text() const { return toPlainText(); }
    void replaceText(const QString &text);
    void appendText(const QString &text);
    // Brings the end of the text into view, whatever the user scrolled to.
    void scrollToEnd();

private:
    QString normalizedLineEnds(const QString &text);

    // The last text appended ended in CR: a LF opening the next one belongs to the same line end.
    bool endsInCarriageReturn = false;
};
