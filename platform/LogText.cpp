#include "platform/LogText.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr qsizetype lineStartsPerBlock = PageBlock::size / qsizetype{sizeof(qsizetype)};

bool isLatin1(QStringView text)
{
    const char16_t *units = text.utf16();
    char16_t any = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        any |= units[i];
    return any < 0x100;
}

} // namespace

LogText::LogText()
{
    appendLineStart(0);
}

void LogText::clear()
{
    for (TextBlock &block : blocks)
        spareBlocks.push_back(std::move(block.memory));
    std::ranges::move(lineBlocks, std::back_inserter(spareBlocks));
    for (const PageBlock &spare : spareBlocks)
        spare.discardContents();
    blocks.clear();
    lineBlocks.clear();
    lines = 0;
    length = 0;
    longestLine = 0;
    appendLineStart(0);
}

qsizetype *LogText::lineStarts(qsizetype block) const
{
    return reinterpret_cast<qsizetype *>(lineBlocks[static_cast<std::size_t>(block)].data()); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): the block holds line starts
}

// Memory fresh from the system has to be cleared by it first, which costs more than filling it.
PageBlock LogText::newBlock()
{
    if (spareBlocks.empty())
        return {};
    PageBlock block = std::move(spareBlocks.back());
    spareBlocks.pop_back();
    return block;
}

void LogText::appendLineStart(qsizetype start)
{
    if (lines % lineStartsPerBlock == 0)
        lineBlocks.push_back(newBlock());
    lineStarts(lines / lineStartsPerBlock)[lines % lineStartsPerBlock] = start;
    ++lines;
    lastLineStart = start;
}

qsizetype LogText::lineStart(qsizetype line) const
{
    return lineStarts(line / lineStartsPerBlock)[line % lineStartsPerBlock];
}

LogText::TextBlock &LogText::blockWithRoom(bool wide)
{
    const qsizetype unitBytes = wide ? 2 : 1;
    if (blocks.empty() || blocks.back().wide != wide || blocks.back().used + unitBytes > PageBlock::size)
        blocks.push_back({.start = length, .wide = wide, .used = 0, .memory = newBlock()});
    return blocks.back();
}

void LogText::append(QStringView text)
{
    const bool wide = !isLatin1(text);
    while (!text.isEmpty()) {
        TextBlock &block = blockWithRoom(wide);
        const qsizetype units = std::min((PageBlock::size - block.used) / (wide ? 2 : 1), text.size());
        char *out = block.memory.data() + block.used;
        block.used += units * (wide ? 2 : 1);
        const QStringView piece = text.first(units);
        if (wide) {
            std::memcpy(out, piece.utf16(), static_cast<size_t>(units) * 2);
            indexLines(piece, length);
        } else {
            const char16_t *in = piece.utf16();
            for (qsizetype i = 0; i < units; ++i)
                out[i] = static_cast<char>(in[i]);
            indexLines(out, units, length);
        }
        length += units;
        text = text.sliced(units);
    }
    longestLine = std::max(longestLine, length - lastLineStart);
}

void LogText::indexLines(QStringView text, qsizetype at)
{
    for (qsizetype found = text.indexOf(u'\n'); found >= 0; found = text.indexOf(u'\n', found + 1)) {
        longestLine = std::max(longestLine, at + found - lastLineStart);
        appendLineStart(at + found + 1);
    }
}

void LogText::indexLines(const char *latin1, qsizetype count, qsizetype at)
{
    const char *end = latin1 + count;
    for (const char *found = latin1; (found = static_cast<const char *>(std::memchr(found, '\n', end - found))) != nullptr;) {
        longestLine = std::max(longestLine, at + (found - latin1) - lastLineStart);
        ++found;
        appendLineStart(at + (found - latin1));
    }
}

qsizetype LogText::lineEnd(qsizetype line) const
{
    return line + 1 < lines ? lineStart(line + 1) - 1 : length;
}

qsizetype LogText::lineAt(qsizetype position) const
{
    // The block whose first line starts last at or before the position, then the line within it.
    const auto blockCount = static_cast<qsizetype>(lineBlocks.size());
    qsizetype low = 0;
    qsizetype high = blockCount;
    while (high - low > 1) {
        const qsizetype middle = (low + high) / 2;
        (lineStarts(middle)[0] <= position ? low : high) = middle;
    }
    const qsizetype *starts = lineStarts(low);
    const qsizetype count = low + 1 < blockCount ? lineStartsPerBlock : lines - low * lineStartsPerBlock;
    const qsizetype within = std::upper_bound(starts, starts + count, position) - starts;
    return std::max<qsizetype>(low * lineStartsPerBlock + within - 1, 0);
}

QString LogText::mid(qsizetype from, qsizetype to) const
{
    from = std::clamp<qsizetype>(from, 0, length);
    to = std::clamp(to, from, length);
    QString result;
    result.reserve(to - from);
    auto block = std::upper_bound(blocks.cbegin(), blocks.cend(), from, [](qsizetype position, const TextBlock &candidate) {
        return position < candidate.start;
    });
    for (block = block == blocks.cbegin() ? block : std::prev(block); from < to; ++block) {
        const qsizetype offset = from - block->start;
        const qsizetype units = std::min(block->units() - offset, to - from);
        if (block->wide)
            result.append(reinterpret_cast<const QChar *>(block->memory.data()) + offset, units); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): the block holds UTF-16 units
        else
            result.append(QLatin1StringView(block->memory.data() + offset, units));
        from += units;
    }
    return result;
}
