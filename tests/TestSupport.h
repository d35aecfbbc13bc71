#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// Tests that limit the address space cannot run under AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
#define KILNLIGHT_UNDER_ASAN 1
#elif defined(__has_feature)
#define KILNLIGHT_UNDER_ASAN __has_feature(address_sanitizer)
#else
#define KILNLIGHT_UNDER_ASAN 0
#endif

// Descriptors this process has open right now.
int openDescriptorCount();

// True while a process with this id exists (a zombie included).
bool processExists(qint64 pid);

// True while a process with this id runs: neither gone, nor exiting, nor a zombie yet to be reaped.
bool isRunning(qint64 pid);

// Reads a file that fakepovray wrote: its pid, or its argument vector.
qint64 readPid(const QString &path);
QByteArrayList readArguments(const QString &path);
