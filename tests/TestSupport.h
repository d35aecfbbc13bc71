#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// Descriptors this process has open right now.
int openDescriptorCount();

// True while a process with this id exists (a zombie included).
bool processExists(qint64 pid);

// True while a process with this id runs: neither gone nor a zombie that init has yet to reap.
bool isRunning(qint64 pid);

// Reads a file that fakepovray wrote: its pid, or its argument vector.
qint64 readPid(const QString &path);
QByteArrayList readArguments(const QString &path);
