#pragma once

#include "platform/log/LogText.h"

#include <QObject>
#include <QTimer>

// Tells accessibility tools what changed in the log: its text replaced, output appended, the
// cursor and selection moved. Output is announced once a frame, and no more of it than a reader
// could follow: a flood of megabytes would otherwise be copied to them piece by piece.
class LogAnnouncer : public QObject
{
    Q_OBJECT

public:
    // Events name view as their source; text is the view's.
    LogAnnouncer(QObject *view, const LogText &text);

    void replaced(const QString &text);
    void appendedFrom(qsizetype position);
    void selectionMoved(qsizetype cursor, qsizetype start, qsizetype end);

private:
    void announceAppended();

    QObject *source;
    const LogText &content;
    QTimer timer;
    qsizetype unannounced = -1; // where the output not yet announced starts
};
