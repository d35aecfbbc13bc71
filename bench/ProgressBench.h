#pragma once

#include <QByteArrayList>

#include <chrono>

// Times how fast the window takes in a flood with its progress indicator reading it and, in the
// same build, with the indicator left unconnected: runs alternate, and each feeds a new window, so
// that neither gets the other's warm caches or longer log.
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

    // In the main thread's processor time, fed in-process as the task would hand the reads over.
    [[nodiscard]] static Medians ingest(Flood flood, qint64 bytes, int runs);
    // In wall time from the press of Render until the render is over, the flood coming from the
    // renderer through the pipe, as the ingest figure takes it; the preferences in HOME name a scene.
    [[nodiscard]] static Medians render(const QString &rendererPath, int runs);

private:
    static Duration feedOnce(const QByteArrayList &reads, bool readingProgress, qint64 bytes);
    static Duration renderOnce(const QString &rendererPath, bool readingProgress);
};
