#include "platform/LogView.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextCursor>

LogView::LogView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setUndoRedoEnabled(false);
}

void LogView::replaceText(const QString &text)
{
    endsInCarriageReturn = false;
    setPlainText(normalizedLineEnds(text));
}

void LogView::appendText(const QString &text)
{
    const QString lines = normalizedLineEnds(text);
    if (lines.isEmpty())
        return;
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(lines);
}

QString LogView::normalizedLineEnds(const QString &text)
{
    QString lines;
    lines.reserve(text.size());
    for (const QChar character : text) {
        if (character == u'\n' && endsInCarriageReturn) {
            endsInCarriageReturn = false;
            continue;
        }
        endsInCarriageReturn = character == u'\r';
        lines.append(endsInCarriageReturn ? QChar(u'\n') : character);
    }
    return lines;
}

void LogView::scrollToEnd()
{
    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}
