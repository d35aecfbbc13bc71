#pragma once

#include "platform/process/UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>

#include <chrono>
#include <optional>

// The reading end of a pipe, read in the background: once armed, the next read is done as soon as
// data or end of stream is there, and its result is reported by readCompleted on the main loop.
// Each report arms nothing by itself; the receiver re-arms for the next one.
class PipeReader : public QObject
{
    Q_OBJECT

public:
    using Deadline = std::chrono::steady_clock::time_point;

    // Takes ownership of a non-blocking reading end.
    explicit PipeReader(UniqueFd readEnd, QObject *parent = nullptr);

    [[nodiscard]] int fileDescriptor() const noexcept { return readEnd.get(); }

    void readInBackgroundAndNotify();
    // Disarms a read armed in the background, so that the pipe is read only when asked.
    void cancelBackgroundRead();

    // How many bytes are waiting in the pipe now; nullopt when the system cannot tell.
    [[nodiscard]] std::optional<int> bytesWaiting() const;

    // One read that waits for data or end of stream, but not past the deadline. An empty result is
    // end of stream; nullopt means the deadline passed first.
    [[nodiscard]] std::optional<QByteArray> availableData(Deadline deadline);

    // Stops all reports and closes the reading end.
    void close();

signals:
    // One read's bytes; empty at end of stream.
    void readCompleted(const QByteArray &data);

private:
    void readOnce();
    // nullopt when the pipe had nothing yet.
    std::optional<QByteArray> readChunk();

    UniqueFd readEnd;
    QSocketNotifier readable;
    qsizetype readSize;
};
