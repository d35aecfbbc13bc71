#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QSaveFile;
class QThread;

// Writes the first units of the log to a file as UTF-8, whole or not at all: a failed or cancelled
// save leaves no file behind and an existing one untouched. The text is read, encoded and written
// in slices of a few milliseconds on the main loop, so the window keeps painting. Only the last
// step, which flushes the file to the disk and may wait on the device, runs on a worker thread of
// its own, which owns the file from then on.
class LogSaver : public QObject
{
    Q_OBJECT

public:
    // The text in [from, to), read on the main thread between slices. The log is only ever
    // extended or replaced whole, so its first units stay what they were until it is replaced.
    using TextSource = std::function<QString(qsizetype from, qsizetype to)>;

    LogSaver(TextSource source, qsizetype units, QObject *parent = nullptr);
    LogSaver(const LogSaver &) = delete;
    LogSaver &operator=(const LogSaver &) = delete;
    // Discards what was written; waits for the disk if the file is being committed.
    ~LogSaver() override;

    // Begins writing; finished() follows from the main loop, never from within start.
    void start(const QString &path);
    // The text is about to be replaced. Returns whether this loses the save: once every byte is
    // written the file is complete and is committed all the same.
    bool cancel();

signals:
    // What failed, as the system put it; empty when the file was saved.
    void finished(const QString &failure);

private:
    void writeSlice();
    void commit();
    void finish(const QString &failure);

    TextSource source;
    qsizetype next = 0;
    qsizetype end;
    QString failure;
    bool over = false;
    std::unique_ptr<QSaveFile> file;
    QTimer slices;
    std::unique_ptr<QThread> committing;
};
