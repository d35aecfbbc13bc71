#pragma once

#include "platform/log/LogText.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Finds a text in the log and counts where it occurs, a bounded piece of work at a time, so that a
// search through hundreds of megabytes never holds the main loop. A match is every position at
// which the text occurs, so matches may overlap. Matches are counted, not stored: the count keeps
// a tally every 64 Ki positions, from which the index of any match counted is found by searching
// at most that far. Without Match case, UTF-16 units are compared folded (QChar::toCaseFolded), as
// QString compares them case-insensitively. The log may grow at its end between steps and what grows is searched too;
// a log replaced whole needs textReplaced(). Positions count UTF-16 units, as LogText does.
class LogSearch
{
public:
    enum class Direction { Forward, Backward };

    explicit LogSearch(const LogText &text);

    // Starts over with another text: no match is current, no find is pending, counting restarts.
    void setPattern(const QString &text, Qt::CaseSensitivity sensitivity);
    [[nodiscard]] const QString &pattern() const noexcept { return needle; }
    [[nodiscard]] Qt::CaseSensitivity caseSensitivity() const noexcept { return sensitivity; }
    // Forgets the count and the current match, and a pending find.
    void textReplaced();

    // Starts looking for the first match at or after position (Forward), or the last one before
    // it (Backward), going on around the other end of the log if there is none that way.
    void find(qsizetype position, Direction direction);
    // Examines at most about the given number of positions, the pending find first, then the count.
    // False once nothing is left to do until the log grows or another find starts.
    bool step(qsizetype positions);
    [[nodiscard]] bool hasWork() const;

    [[nodiscard]] bool isFinding() const noexcept { return pending.has_value(); }
    // The start of the match the last find found; none when it found none.
    [[nodiscard]] std::optional<qsizetype> current() const noexcept { return match; }
    // Whether the last find went around an end of the log.
    [[nodiscard]] bool wrapped() const noexcept { return wentAround; }
    // Of the current match, from 1, once the count has passed it.
    [[nodiscard]] std::optional<qsizetype> currentIndex() const noexcept { return matchIndex; }
    // The matches counted so far, complete once isCounted().
    [[nodiscard]] qsizetype count() const noexcept { return total; }
    [[nodiscard]] bool isCounted() const noexcept { return counter >= limit(); }

    // The starts of the matches that overlap [from, to), in order; costs what the stretch costs.
    [[nodiscard]] std::vector<qsizetype> matchesIn(qsizetype from, qsizetype to) const;

    static constexpr qsizetype tallyEvery = qsizetype{1} << 16;

private:
    struct Find
    {
        Direction direction = Direction::Forward;
        qsizetype origin = 0;
        qsizetype at = 0; // the next start to examine, or for Backward the one after it
        bool aroundEnd = false;
    };

    // One past the last position at which a match can start yet.
    [[nodiscard]] qsizetype limit() const noexcept;
    [[nodiscard]] char16_t folded(char16_t unit) const noexcept;
    [[nodiscard]] bool matchesAt(qsizetype start) const;
    // Where in [at, end) the next unit that may start a match stands, or end.
    [[nodiscard]] qsizetype nextCandidate(const unsigned char *units, qsizetype at, qsizetype end) const;
    // Calls onMatch(start) for each match starting in [from, to), in order, until it returns false.
    template<typename OnMatch>
    void scan(qsizetype from, qsizetype to, OnMatch onMatch) const;
    [[nodiscard]] qsizetype countIn(qsizetype from, qsizetype to) const;
    // -1 for none.
    [[nodiscard]] qsizetype firstIn(qsizetype from, qsizetype to) const;
    [[nodiscard]] qsizetype lastIn(qsizetype from, qsizetype to) const;
    [[nodiscard]] qsizetype findStep(qsizetype positions);
    qsizetype countStep(qsizetype positions);
    void found(qsizetype start);
    void resolveIndex();
    [[nodiscard]] qsizetype nextTally() const noexcept;
    // Moves the count's frontier on to `to`, past the given number of matches.
    void advanceCounter(qsizetype to, qsizetype matches);

    const LogText &log;
    QString needle;
    std::u16string key; // the needle, folded unless matching case
    std::array<char16_t, 256> latin1Folded{};
    std::array<bool, 256> startsMatch{}; // by Latin-1 unit
    std::vector<std::uint64_t> startPatterns; // each Latin-1 unit that may start a match, in every byte
    Qt::CaseSensitivity sensitivity = Qt::CaseInsensitive;
    std::optional<Find> pending;
    std::optional<qsizetype> match;
    std::optional<qsizetype> matchIndex;
    bool wentAround = false;
    qsizetype counter = 0; // the count covers the starts before it
    qsizetype total = 0;
    std::vector<qsizetype> tallies; // the count before each multiple of tallyEvery
};
