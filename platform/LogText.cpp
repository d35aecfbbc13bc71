#include "platform/LogText.h"

#include <algorithm>
#include <cstring>

namespace {

// Big enough that a block's bookkeeping costs nothing per byte, small enough that the unused end of
// the last block does not count.
constexpr qsizetype blockBytes = qsizetype{1} << 20;

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
    : lineStarts{0}
{
}

void LogText::clear()
{
    std::vector<Block>().swap(blocks);
    lineStarts = QList<qsizetype>{0};
    length = 0;
    longestLine = 0;
}

LogText::Block &LogText::blockWithRoom(bool wide)
{
    const qsizetype unitBytes = wide ? 2 : 1;
    if (blocks.empty() || blocks.back().wide != wide || blocks.back().bytes.size() + unitBytes > blockBytes)
        blocks.push_back({.start = length, .wide = wide, .bytes = {}});
    return blocks.back();
}

void LogText::append(QStringView text)
{
    const bool wide = !isLatin1(text);
    while (!text.isEmpty()) {
        Block &block = blockWithRoom(wide);
        const qsizetype used = block.bytes.size();
        const qsizetype units = std::min((blockBytes - used) / (wide ? 2 : 1), text.size());
        const qsizetype needed = used + units * (wide ? 2 : 1);
        // Grown by hand so that a block's capacity never passes its limit.
        if (block.bytes.capacity() < needed)
            block.bytes.reserve(std::min(blockBytes, std::max(needed, 2 * block.bytes.capacity())));
        block.bytes.resize(needed);
        char *out = block.bytes.data() + used;
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
    longestLine = std::max(longestLine, length - lineStarts.constLast());
}

void LogText::indexLines(QStringView text, qsizetype at)
{
    for (qsizetype found = text.indexOf(u'\n'); found >= 0; found = text.indexOf(u'\n', found + 1))
        lineStartsAt(at + found + 1);
}

void LogText::indexLines(const char *latin1, qsizetype count, qsizetype at)
{
    const char *end = latin1 + count;
    for (const char *found = latin1; (found = static_cast<const char *>(std::memchr(found, '\n', end - found))) != nullptr;) {
        ++found;
        lineStartsAt(at + (found - latin1));
    }
}

void LogText::lineStartsAt(qsizetype start)
{
    longestLine = std::max(longestLine, start - 1 - lineStarts.constLast());
    lineStarts.append(start);
}

qsizetype LogText::lineEnd(qsizetype line) const
{
    return line + 1 < lineStarts.size() ? lineStarts.at(line + 1) - 1 : length;
}

qsizetype LogText::lineAt(qsizetype position) const
{
    const auto after = std::upper_bound(lineStarts.cbegin(), lineStarts.cend(), position);
    return std::max<qsizetype>(after - lineStarts.cbegin() - 1, 0);
}

QString LogText::mid(qsizetype from, qsizetype to) const
{
    from = std::clamp<qsizetype>(from, 0, length);
    to = std::clamp(to, from, length);
    QString result;
    result.reserve(to - from);
    auto block = std::upper_bound(blocks.cbegin(), blocks.cend(), from, [](qsizetype position, const Block &candidate) {
        return position < candidate.start;
    });
    for (block = block == blocks.cbegin() ? block : std::prev(block); from < to; ++block) {
        const qsizetype offset = from - block->start;
        const qsizetype units = std::min(block->units() - offset, to - from);
        if (block->wide)
            result.append(reinterpret_cast<const QChar *>(block->bytes.constData()) + offset, units); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): the block holds UTF-16 units
        else
            result.append(QLatin1StringView(block->bytes.constData() + offset, units));
        from += units;
    }
    return result;
}
