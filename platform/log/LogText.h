#pragma once

#include "platform/log/PageBlock.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <variant>
#include <vector>

// The log's text, kept compactly for logs of hundreds of megabytes whatever their mix of scripts:
// the text is cut into stretches of a fixed number of UTF-16 units, each kept in one byte per unit
// while it holds only Latin-1 and in two once it holds anything else, in blocks that are never
// moved or grown. Lines are indexed by the count of line ends before each stretch, so a log of
// empty lines costs little more than its text, and any line is found without a scan of the log.
// Positions count UTF-16 units, as QString does; lines end at '\n', which belongs to the line it
// ends. Blocks of a cleared text are kept for the text that follows, but the system may reclaim
// them meanwhile. Running out of memory throws std::bad_alloc and leaves what was appended before.
class LogText
{
public:
    LogText();

    void clear();
    // Throws std::bad_alloc when memory runs out; the part of the text that fit stays appended.
    void append(QStringView text);
    // Ends the text with a note of fewer than noteLimit units on a line of its own. Memory set
    // aside for it lets it through even after append has run out; it is set aside again by clear.
    void appendNote(QStringView note);
    static constexpr qsizetype noteLimit = 1000;

    [[nodiscard]] qsizetype size() const noexcept { return length; }
    // Never less than 1: an empty text, or one ending in '\n', has an empty last line.
    [[nodiscard]] qsizetype lineCount() const noexcept { return lineEnds + 1; }
    [[nodiscard]] qsizetype lineStart(qsizetype line) const;
    // Where the line's text ends, before its '\n'.
    [[nodiscard]] qsizetype lineEnd(qsizetype line) const;
    [[nodiscard]] qsizetype lineAt(qsizetype position) const;
    // In UTF-16 units, without the '\n'.
    [[nodiscard]] qsizetype longestLineLength() const noexcept { return longestLine; }

    [[nodiscard]] QString mid(qsizetype from, qsizetype to) const;
    // The units from position to the end of the stretch that holds it, as they are kept, for a
    // reader that wants no copy; empty at or past the end.
    [[nodiscard]] std::variant<QLatin1StringView, QStringView> unitsFrom(qsizetype position) const;

private:
    struct Stretch
    {
        char *bytes = nullptr;
        qsizetype lineEndsBefore = 0;
        bool wide = false; // two bytes per UTF-16 unit instead of Latin-1
    };

    // Hands out slots of one size from blocks, the last one taken first back.
    struct Arena
    {
        std::vector<PageBlock> blocks;
        qsizetype used = 0; // bytes of the last block
    };

    void appendStretches(QStringView text, bool mayUseReserve);
    void openStretch(bool mayUseReserve);
    void widen(Stretch &stretch, qsizetype units, bool mayUseReserve);
    void indexLines(const Stretch &stretch, qsizetype from, qsizetype to);
    char *take(Arena &arena, qsizetype bytes, bool mayUseReserve);
    [[nodiscard]] PageBlock newBlock(bool mayUseReserve);
    // The position of the count-th line end (from 1) within a stretch.
    [[nodiscard]] qsizetype nthLineEnd(const Stretch &stretch, qsizetype count) const;
    [[nodiscard]] qsizetype lineEndsIn(const Stretch &stretch, qsizetype units) const;
    [[nodiscard]] const Stretch &stretchAt(qsizetype index) const { return stretches[static_cast<std::size_t>(index)]; }

    std::vector<Stretch> stretches;
    Arena latin1;
    Arena utf16;
    std::vector<PageBlock> spareBlocks;
    std::optional<PageBlock> reserve;
    qsizetype lineEnds = 0;
    qsizetype length = 0;
    qsizetype longestLine = 0;
    qsizetype lastLineStart = 0;
};
