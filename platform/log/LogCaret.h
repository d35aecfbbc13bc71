#pragma once

#include "platform/log/LogText.h"

#include <utility>

// Where the caret goes in the log's text, and what a word of it is. A word is a word of Unicode's
// word boundaries (UAX #29, as QTextBoundaryFinder::Word finds them), the same for double-clicks,
// word motion and screen readers. Only a bounded stretch around a position is read, so a "word" of
// a million letters ends at that stretch's edge.
class LogCaret
{
public:
    enum Motion {
        NextCharacter,
        PreviousCharacter,
        NextWord,
        PreviousWord,
        NextLine,
        PreviousLine,
        StartOfLine,
        EndOfLine,
        StartOfDocument,
        EndOfDocument,
        NextPage,
        PreviousPage,
    };

    static constexpr qsizetype wordReach = 65536;

    explicit LogCaret(const LogText &text);

    // Where motion leads from position, a page being rows lines.
    [[nodiscard]] qsizetype moved(qsizetype position, Motion motion, int rows) const;
    // The word the character at position belongs to, or the run between words it stands in.
    [[nodiscard]] std::pair<qsizetype, qsizetype> wordAt(qsizetype position) const;

private:
    // The nearest word edge after position (before it, with backwards), not beyond limit: a word's
    // start, or with ends also a word's end.
    [[nodiscard]] qsizetype wordEdge(qsizetype position, qsizetype limit, bool backwards, bool ends) const;

    const LogText &content;
};
