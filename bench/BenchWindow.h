#pragma once

#include "platform/startup/MainWindowDefinition.h"

#include <QByteArrayList>
#include <QString>

#include <chrono>

// Kilnlight's real window and controller, shown offscreen, with its renderer and the scene that
// the preferences in HOME name replaced, driven the way a user would drive them while the main
// loop runs with a 1 ms timer whose ticks show how responsive the loop stays.
class BenchWindow
{
public:
    using Duration = std::chrono::steady_clock::duration;

    struct Run
    {
        Duration elapsed{}; // from the press of Render to the render finished
        Duration longestGap{}; // between two ticks of the timer
        qsizetype shown = 0; // characters in the log
        qint64 peakResidentBytes = 0; // of the process, once the render finished
    };

    BenchWindow(const QString &rendererPath, const QString &scenePath);

    void setImage(const QString &width, const QString &height, bool antialias);

    Run render();
    // Presses Stop once the log holds the given number of characters; how long until the render
    // was over and the button read Render again.
    Duration stopDuringFlood(qsizetype shownBeforeStop);
    // Hands the controller the reads in turn, decoded as the task would decode them, until the
    // given number of bytes went in, with the main loop run every few reads; longestGap stays 0.
    Run feed(const QByteArrayList &reads, qint64 bytes);
    // The longest gap between ticks with nothing to do, for comparison.
    Duration idleLongestGap();

    [[nodiscard]] static qint64 peakResidentBytes();
    // Has the preferences in HOME name the scene.
    static void namePreferredScene(const QString &scenePath);
    // Has the preferences in HOME name the scene, writes no image and shows the window at the size
    // every figure uses.
    static void prepare(MainWindowDefinition &definition, const QString &scenePath);

private:
    MainWindowDefinition definition;
};
