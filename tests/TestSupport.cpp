#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>

int openDescriptorCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

bool processExists(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

static QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

void setFakeScript(const QByteArray &script)
{
    qputenv("FAKE_POVRAY_SCRIPT", script);
}
