#pragma once

#include "platform/log/LogMessages.h"

#include <QObject>
#include <QTimer>

class LogView;
class QLabel;

// Finds the renderer's errors and warnings as the log changes, colours them in the log, counts
// them in a label ("2 errors, 1 warning"; empty when there are none) and moves the log's selection
// from one message to the next, around at the ends. A replaced log starts afresh. It is the view's
// child, so the view never paints with it gone.
class MessageNavigator : public QObject
{
    Q_OBJECT

public:
    MessageNavigator(LogView *view, QLabel *countLabel);

    // Select the message after or before the selection (or the caret), scroll to it and give
    // the log the focus, so a screen reader reads it.
    void next();
    void previous();

    [[nodiscard]] static QString countText(qsizetype errors, qsizetype warnings);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void select(qsizetype index);
    void restart();
    void follow(QStringView appended);
    void showCount();

    LogView *view;
    QLabel *label;
    LogMessages messages;
    // A flood of warnings changes the count thousands of times a second; a reader needs it rarely.
    QTimer countTimer;
    // Memory ran out while finding messages: those found stay, no more are looked for until the
    // log is replaced.
    bool following = true;
};
