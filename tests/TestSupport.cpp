#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>

static QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int openDescriptorCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

bool processExists(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool isRunning(qint64 pid)
{
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    return pid > 0 && !stat.isEmpty() && !stat.contains(") Z ");
}

qint64 readPid(const QString &path)
{
    return readAll(path).trimmed().toLongLong();
}

QByteArrayList readArguments(const QString &path)
{
    QByteArrayList arguments = readAll(path).split('\0');
    arguments.removeLast(); // every argument ends in NUL, so the split leaves one empty piece
    return arguments;
}
