#pragma once

#include "platform/PageBlock.h"

#include <QString>
#include <QStringView>

#include <vector>

// The log's text, kept compactly for logs of hundreds of megabytes: Latin-1 text takes one byte per
// character, anything else two, in fixed blocks that are never moved or grown. Line starts are
// indexed as the text arrives, so any line is found without a scan. Positions count UTF-16 units,
// as QString does; lines end at '\n', which belongs to the line it ends. Blocks of a cleared text
// are kept for the text that follows, but the system may reclaim them meanwhile.
class LogText
{
public:
    LogText();

    void clear();
    void append(QStringView text);

    [[nodiscard]] qsizetype size() const noexcept { return length; }
    // Never less than 1: an empty text, or one ending in '\n', has an empty last line.
    [[nodiscard]] qsizetype lineCount() const noexcept { return lines; }
    [[nodiscard]] qsizetype lineStart(qsizetype line) const;
    // Where the line's text ends, before its '\n'.
    [[nodiscard]] qsizetype lineEnd(qsizetype line) const;
    [[nodiscard]] qsizetype lineAt(qsizetype position) const;
    // In UTF-16 units, without the '\n'.
    [[nodiscard]] qsizetype longestLineLength() const noexcept { return longestLine; }

    [[nodiscard]] QString mid(qsizetype from, qsizetype to) const;

private:
    struct TextBlock
    {
        qsizetype start = 0;
        bool wide = false; // two bytes per UTF-16 unit instead of Latin-1
        qsizetype used = 0; // bytes
        PageBlock memory;

        [[nodiscard]] qsizetype units() const noexcept { return wide ? used / 2 : used; }
    };

    TextBlock &blockWithRoom(bool wide);
    void indexLines(QStringView text, qsizetype at);
    void indexLines(const char *latin1, qsizetype count, qsizetype at);
    void appendLineStart(qsizetype start);
    [[nodiscard]] qsizetype *lineStarts(qsizetype block) const;
    [[nodiscard]] PageBlock newBlock();

    std::vector<TextBlock> blocks;
    std::vector<PageBlock> lineBlocks;
    std::vector<PageBlock> spareBlocks;
    qsizetype lines = 0;
    qsizetype length = 0;
    qsizetype longestLine = 0;
    qsizetype lastLineStart = 0;
};
