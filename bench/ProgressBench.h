#pragma once

#include <QByteArrayList>

#include <chrono>

// Times, in the main thread's processor time, how fast the window takes in a flood of POV-Ray's progress lines with its progress
// indicator reading them and, in the same build, with it left unconnected: runs alternate, and
// each feeds a new window, so that neither gets the other's warm caches or longer log.
class ProgressBench
{
public:
    using Duration = std::chrono::steady_clock::duration;

    struct Medians
    {
        Duration reading{};
        Duration notReading{};
    };

    enum class Flood {
        LogLines, // the lines of the ingest flood, which start like a progress line and are none
        ProgressLines, // nothing but POV-Ray's progress lines, each ending in a carriage return
    };

    [[nodiscard]] static Medians ingest(Flood flood, qint64 bytes, int runs);

private:
    static Duration feedOnce(const QByteArrayList &reads, bool readingProgress, qint64 bytes);
};
