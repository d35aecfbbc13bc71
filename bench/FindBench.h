#pragma once

#include "platform/startup/MainWindowDefinition.h"

#include <QString>

#include <chrono>

// Kilnlight's window, shown offscreen with a huge log, in which a word is typed into the find bar
// a key at a time while a 1 ms timer ticks on the main loop: how long the loop is held, how soon
// the first match shows, and how soon all matches are counted.
class FindBench
{
public:
    using Duration = std::chrono::steady_clock::duration;

    struct Figures
    {
        Duration longestGap{}; // from the bar opened to the count complete
        Duration firstMatch{}; // from the first key to its match selected
        Duration count{}; // from the last key to the count complete
        qsizetype distance = 0; // from the caret to the first match, in UTF-16 units
        qsizetype logUnits = 0;
        QString status; // as the bar shows it at the end
    };

    // The log holds lines of ASCII with the word on a line of its own every sixteenth MiB.
    explicit FindBench(qsizetype logUnits);
    // Types the word with the caret in the middle of the log, the word's next line up to 16 MiB on.
    Figures typeWord();

private:
    MainWindowDefinition definition;
};
