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

// A process that has begun to exit has closed, or is closing, its descriptors before it turns
// zombie: its reader may see end of stream first. The kernel marks it exiting (PF_EXITING) first.
bool isRunning(qint64 pid)
{
    constexpr qulonglong exiting = 0x4;
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype nameEnd = stat.lastIndexOf(')');
    if (pid <= 0 || nameEnd < 0)
        return false;
    // After the name: state, parent, group, session, terminal, terminal group, flags.
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    return fields.size() > 6 && fields.at(0) != "Z" && (fields.at(6).toULongLong() & exiting) == 0;
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
