#include "platform/log/LogText.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// Small enough that a line of another script widens little text around it, large enough that the
// index of stretches costs next to nothing.
constexpr qsizetype stretchUnits = 1024;

// Copies the units as Latin-1; false when one of them is beyond it, and out then holds junk.
bool narrowed(QStringView text, char *out)
{
    const char16_t *in = text.utf16();
    char16_t any = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        out[i] = static_cast<char>(in[i]);
        any |= in[i];
    }
    return any < 0x100;
}

template<typename Unit>
qsizetype nthLineEndIn(const Unit *units, qsizetype size, qsizetype count)
{
    qsizetype at = 0;
    for (; at < size; ++at) {
        if (units[at] == '\n' && --count == 0)
            break;
    }
    return at;
}

// Appends leave room for one more item, which a note may take without asking for memory.
template<typename Item>
void makeRoom(std::vector<Item> &items, bool mayUseReserve)
{
    const std::size_t needed = items.size() + (mayUseReserve ? 1 : 2);
    if (needed > items.capacity())
        items.reserve(std::max(2 * items.capacity(), needed));
}

const char16_t *unitsOf(const char *bytes)
{
    return reinterpret_cast<const char16_t *>(bytes); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): a wide stretch holds UTF-16 units
}

} // namespace

LogText::LogText()
    : reserve(PageBlock())
{
}

void LogText::clear()
{
    for (Arena *arena : {&latin1, &utf16}) {
        std::ranges::move(arena->blocks, std::back_inserter(spareBlocks));
        arena->blocks.clear();
        arena->used = 0;
    }
    for (const PageBlock &spare : spareBlocks)
        spare.discardContents();
    if (!reserve && !spareBlocks.empty()) {
        reserve = std::move(spareBlocks.back());
        spareBlocks.pop_back();
    }
    stretches.clear();
    lineEnds = 0;
    length = 0;
    longestLine = 0;
    lastLineStart = 0;
}

// Memory fresh from the system has to be cleared by it first, which costs more than filling it.
PageBlock LogText::newBlock(bool mayUseReserve)
{
    if (!spareBlocks.empty()) {
        PageBlock block = std::move(spareBlocks.back());
        spareBlocks.pop_back();
        return block;
    }
    if (mayUseReserve && reserve) {
        PageBlock block = std::move(*reserve);
        reserve.reset();
        return block;
    }
    return {};
}

char *LogText::take(Arena &arena, qsizetype bytes, bool mayUseReserve)
{
    if (arena.blocks.empty() || arena.used + bytes > PageBlock::size) {
        makeRoom(arena.blocks, mayUseReserve);
        arena.blocks.push_back(newBlock(mayUseReserve));
        arena.used = 0;
    }
    char *slot = arena.blocks.back().data() + arena.used;
    arena.used += bytes;
    return slot;
}

void LogText::openStretch(bool mayUseReserve)
{
    makeRoom(stretches, mayUseReserve);
    char *bytes = take(latin1, stretchUnits, mayUseReserve);
    stretches.push_back({.bytes = bytes, .lineEndsBefore = lineEnds, .wide = false});
}

// The open stretch's Latin-1 slot is the last one taken, so handing it back leaves no gap.
void LogText::widen(Stretch &stretch, qsizetype units, bool mayUseReserve)
{
    char *wide = take(utf16, 2 * stretchUnits, mayUseReserve);
    std::copy_n(reinterpret_cast<const unsigned char *>(stretch.bytes), units, reinterpret_cast<char16_t *>(wide)); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): Latin-1 bytes widened to UTF-16 units
    latin1.used -= stretchUnits;
    stretch.bytes = wide;
    stretch.wide = true;
}

void LogText::append(QStringView text)
{
    appendStretches(text, false);
}

void LogText::appendNote(QStringView note)
{
    if (length > lastLineStart)
        appendStretches(u"\n", true);
    appendStretches(note.first(std::min(note.size(), noteLimit - 1)), true);
}

// Each piece is counted in only once it is in place, so running out of memory midway leaves the
// text as it was after the last piece.
void LogText::appendStretches(QStringView text, bool mayUseReserve)
{
    while (!text.isEmpty()) {
        // A stretch opened by an append that then ran out of memory may already be there.
        if (length == static_cast<qsizetype>(stretches.size()) * stretchUnits)
            openStretch(mayUseReserve);
        const qsizetype offset = length % stretchUnits;
        Stretch &stretch = stretches.back();
        const QStringView piece = text.first(std::min(stretchUnits - offset, text.size()));
        if (!stretch.wide && !narrowed(piece, stretch.bytes + offset))
            widen(stretch, offset, mayUseReserve);
        if (stretch.wide)
            std::memcpy(stretch.bytes + 2 * offset, piece.utf16(), static_cast<std::size_t>(piece.size()) * 2);
        indexLines(stretch, offset, offset + piece.size());
        length += piece.size();
        text = text.sliced(piece.size());
    }
    longestLine = std::max(longestLine, length - lastLineStart);
}

void LogText::indexLines(const Stretch &stretch, qsizetype from, qsizetype to)
{
    const qsizetype base = length - from;
    const auto lineEndAt = [&](qsizetype at) {
        longestLine = std::max(longestLine, base + at - lastLineStart);
        lastLineStart = base + at + 1;
        ++lineEnds;
    };
    if (stretch.wide) {
        const QStringView units(unitsOf(stretch.bytes), to);
        for (qsizetype at = units.indexOf(u'\n', from); at >= 0; at = units.indexOf(u'\n', at + 1))
            lineEndAt(at);
        return;
    }
    const char *const end = stretch.bytes + to;
    for (const char *found = stretch.bytes + from; (found = static_cast<const char *>(std::memchr(found, '\n', end - found))) != nullptr; ++found)
        lineEndAt(found - stretch.bytes);
}

qsizetype LogText::lineEndsIn(const Stretch &stretch, qsizetype units) const
{
    if (stretch.wide)
        return std::count(unitsOf(stretch.bytes), unitsOf(stretch.bytes) + units, u'\n');
    return std::count(stretch.bytes, stretch.bytes + units, '\n');
}

qsizetype LogText::nthLineEnd(const Stretch &stretch, qsizetype count) const
{
    return stretch.wide ? nthLineEndIn(unitsOf(stretch.bytes), stretchUnits, count) : nthLineEndIn(stretch.bytes, stretchUnits, count);
}

qsizetype LogText::lineStart(qsizetype line) const
{
    line = std::min(line, lineEnds);
    if (line <= 0)
        return 0;
    // The stretch holding the line's opening line end: the last with fewer line ends before it.
    const auto holding = std::prev(std::ranges::partition_point(stretches, [line](const Stretch &stretch) {
        return stretch.lineEndsBefore < line;
    }));
    const auto index = static_cast<qsizetype>(holding - stretches.cbegin());
    return index * stretchUnits + nthLineEnd(*holding, line - holding->lineEndsBefore) + 1;
}

qsizetype LogText::lineEnd(qsizetype line) const
{
    return line < lineEnds ? lineStart(line + 1) - 1 : length;
}

qsizetype LogText::lineAt(qsizetype position) const
{
    position = std::clamp<qsizetype>(position, 0, length);
    if (stretches.empty())
        return 0;
    const qsizetype index = std::min(position / stretchUnits, static_cast<qsizetype>(stretches.size()) - 1);
    const Stretch &stretch = stretchAt(index);
    return stretch.lineEndsBefore + lineEndsIn(stretch, position - index * stretchUnits);
}

QString LogText::mid(qsizetype from, qsizetype to) const
{
    from = std::clamp<qsizetype>(from, 0, length);
    to = std::clamp(to, from, length);
    QString result;
    result.reserve(to - from);
    while (from < to) {
        const Stretch &stretch = stretchAt(from / stretchUnits);
        const qsizetype offset = from % stretchUnits;
        const qsizetype units = std::min(stretchUnits - offset, to - from);
        if (stretch.wide)
            result.append(reinterpret_cast<const QChar *>(stretch.bytes) + offset, units); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): the stretch holds UTF-16 units
        else
            result.append(QLatin1StringView(stretch.bytes + offset, units));
        from += units;
    }
    return result;
}

std::variant<QLatin1StringView, QStringView> LogText::unitsFrom(qsizetype position) const
{
    if (position < 0 || position >= length)
        return QLatin1StringView();
    const Stretch &stretch = stretchAt(position / stretchUnits);
    const qsizetype offset = position % stretchUnits;
    const qsizetype units = std::min(stretchUnits - offset, length - position);
    if (stretch.wide)
        return QStringView(unitsOf(stretch.bytes) + offset, units);
    return QLatin1StringView(stretch.bytes + offset, units);
}
