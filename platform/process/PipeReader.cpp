#include "platform/process/PipeReader.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// What a pipe holds when the system cannot say.
constexpr qsizetype defaultPipeCapacity = qsizetype{64} * 1024;

// One read takes all the pipe can hold, so a fast writer's output reaches the log in few chunks.
qsizetype pipeCapacity(int descriptor)
{
    const int capacity = ::fcntl(descriptor, F_GETPIPE_SZ);
    return capacity > 0 ? capacity : defaultPipeCapacity;
}

} // namespace

PipeReader::PipeReader(UniqueFd readEnd, QObject *parent)
    : QObject(parent)
    , readEnd(std::move(readEnd))
    , readable(this->readEnd.get(), QSocketNotifier::Read)
    , readSize(pipeCapacity(this->readEnd.get()))
{
    readable.setEnabled(false);
    connect(&readable, &QSocketNotifier::activated, this, &PipeReader::readOnce);
}

void PipeReader::readInBackgroundAndNotify()
{
    if (readEnd.isValid())
        readable.setEnabled(true);
}

void PipeReader::cancelBackgroundRead()
{
    readable.setEnabled(false);
}

void PipeReader::readOnce()
{
    readable.setEnabled(false);
    if (auto chunk = readChunk())
        emit readCompleted(*chunk);
    else
        readInBackgroundAndNotify();
}

std::optional<QByteArray> PipeReader::readChunk()
{
    QByteArray buffer(readSize, Qt::Uninitialized);
    for (;;) {
        const ssize_t count = ::read(readEnd.get(), buffer.data(), static_cast<size_t>(buffer.size()));
        if (count >= 0) {
            buffer.truncate(count);
            return buffer;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return std::nullopt;
        // Any other failure ends the stream: there is nothing more to be had from it.
        return QByteArray();
    }
}

std::optional<int> PipeReader::bytesWaiting() const
{
    int count = -1;
    if (::ioctl(readEnd.get(), FIONREAD, &count) != 0)
        return std::nullopt;
    return count;
}

std::optional<QByteArray> PipeReader::availableData(Deadline deadline)
{
    if (!readEnd.isValid())
        return QByteArray();
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd waiting{readEnd.get(), POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return std::nullopt;
        if (auto chunk = readChunk())
            return chunk;
    }
}

void PipeReader::close()
{
    cancelBackgroundRead();
    readEnd.reset();
}
