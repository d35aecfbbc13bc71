#include "platform/log/LogSaver.h"

#include <QElapsedTimer>
#include <QSaveFile>
#include <QThread>

namespace {

// About a tenth of a millisecond's reading and encoding.
constexpr qsizetype pieceUnits = qsizetype{1} << 16;
// Leaves room in a 16 ms frame for painting and for a piece that started just before it ran out.
constexpr qint64 sliceNanoseconds = 3'000'000;

} // namespace

LogSaver::LogSaver(TextSource source, qsizetype units, QObject *parent)
    : QObject(parent)
    , source(std::move(source))
    , end(units)
{
    connect(&slices, &QTimer::timeout, this, &LogSaver::writeSlice);
}

LogSaver::~LogSaver()
{
    if (committing)
        committing->wait();
}

void LogSaver::start(const QString &path)
{
    file = std::make_unique<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly))
        failure = file->errorString();
    slices.start(0);
}

bool LogSaver::cancel()
{
    if (over || committing)
        return false;
    over = true;
    slices.stop();
    file.reset();
    deleteLater();
    return true;
}

void LogSaver::writeSlice()
{
    QElapsedTimer slice;
    slice.start();
    while (failure.isEmpty() && next < end && slice.nsecsElapsed() < sliceNanoseconds) {
        qsizetype to = std::min(end, next + pieceUnits);
        QString text = source(next, to);
        // A character outside the BMP is encoded whole, in the piece that holds its first half.
        if (to < end && text.back().isHighSurrogate()) {
            text.chop(1);
            --to;
        }
        const QByteArray bytes = text.toUtf8();
        // A short write leaves no error behind; only writing the rest tells why.
        for (QByteArrayView rest = bytes; failure.isEmpty() && !rest.isEmpty();) {
            const qint64 written = file->write(rest.constData(), rest.size());
            if (written <= 0)
                failure = file->errorString();
            else
                rest = rest.sliced(written);
        }
        next = to;
    }
    if (failure.isEmpty() && next < end)
        return;
    slices.stop();
    if (failure.isEmpty())
        commit();
    else
        finish(failure);
}

void LogSaver::commit()
{
    file->moveToThread(nullptr);
    committing.reset(QThread::create([this, saving = std::move(file)]() mutable {
        saving->moveToThread(QThread::currentThread());
        if (!saving->commit())
            failure = saving->errorString();
        saving.reset();
    }));
    connect(committing.get(), &QThread::finished, this, [this] { finish(failure); });
    committing->start();
}

void LogSaver::finish(const QString &failure)
{
    over = true;
    file.reset();
    emit finished(failure);
    deleteLater();
}
