#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// Descriptors this process has open right now.
int openDescriptorCount();

// True while a process with this id exists (a zombie included).
bool processExists(qint64 pid);

// Reads a file that fakepovray wrote: its pid, or its argument vector.
qint64 readPid(const QString &path);
QByteArrayList readArguments(const QString &path);

// Tells the next fakepovray runs what to do; see fakepovray.cpp.
void setFakeScript(const QByteArray &script);
