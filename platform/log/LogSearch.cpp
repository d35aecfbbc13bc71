#include "platform/log/LogSearch.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <variant>

namespace {

// How far one piece of work goes before it looks at its budget again.
constexpr qsizetype window = qsizetype{1} << 15;
constexpr std::uint64_t eachByte = 0x0101010101010101;
constexpr std::uint64_t highBits = 0x8080808080808080;
// Beyond this many units that may start a match, a table serves better than comparing 8 at once.
constexpr std::size_t patternLimit = 4;

} // namespace

LogSearch::LogSearch(const LogText &text)
    : log(text)
    , tallies{0}
{
}

void LogSearch::setPattern(const QString &text, Qt::CaseSensitivity caseSensitivity)
{
    needle = text;
    sensitivity = caseSensitivity;
    for (std::size_t unit = 0; unit < latin1Folded.size(); ++unit)
        latin1Folded.at(unit) = sensitivity == Qt::CaseSensitive ? char16_t(unit) : char16_t(QChar::toCaseFolded(char32_t(unit)));
    key.clear();
    for (const QChar unit : needle)
        key.push_back(folded(unit.unicode()));
    startPatterns.clear();
    for (std::size_t unit = 0; unit < startsMatch.size(); ++unit) {
        startsMatch.at(unit) = !key.empty() && latin1Folded.at(unit) == key.front();
        if (startsMatch.at(unit))
            startPatterns.push_back(unit * eachByte);
    }
    if (startPatterns.size() > patternLimit)
        startPatterns.clear();
    textReplaced();
}

void LogSearch::textReplaced()
{
    pending.reset();
    match.reset();
    matchIndex.reset();
    wentAround = false;
    counter = 0;
    total = 0;
    tallies.assign(1, 0);
}

qsizetype LogSearch::limit() const noexcept
{
    return needle.isEmpty() ? 0 : std::max<qsizetype>(log.size() - needle.size() + 1, 0);
}

void LogSearch::find(qsizetype position, Direction direction)
{
    const qsizetype origin = std::clamp<qsizetype>(position, 0, log.size());
    pending = Find{.direction = direction, .origin = origin, .at = direction == Direction::Forward ? origin : std::min(origin, limit())};
}

bool LogSearch::hasWork() const
{
    return pending.has_value() || counter < limit();
}

bool LogSearch::step(qsizetype positions)
{
    if (pending)
        positions -= findStep(positions);
    if (!pending)
        countStep(positions);
    return hasWork();
}

qsizetype LogSearch::findStep(qsizetype positions)
{
    qsizetype used = 0;
    Find &find = *pending;
    const bool forward = find.direction == Direction::Forward;
    while (used < positions) {
        // Going around, the find ends where it began.
        const qsizetype from = forward ? find.at : (find.aroundEnd ? find.origin : 0);
        const qsizetype to = forward ? (find.aroundEnd ? std::min(find.origin, limit()) : limit()) : find.at;
        if (from >= to) {
            if (find.aroundEnd) {
                pending.reset();
                match.reset();
                matchIndex.reset();
                wentAround = false;
                break;
            }
            find.aroundEnd = true;
            find.at = forward ? 0 : limit();
            continue;
        }
        // Where a forward find passes the count's frontier, what it passes over is counted too.
        const bool counting = forward && from == counter;
        const qsizetype span = std::min({to - from, positions - used, window, counting ? nextTally() - from : window});
        const qsizetype start = forward ? firstIn(from, from + span) : lastIn(to - span, to);
        used += span;
        if (counting)
            advanceCounter(start >= 0 ? start : from + span, 0);
        if (start >= 0) {
            found(start);
            break;
        }
        find.at = forward ? from + span : to - span;
    }
    return used;
}

void LogSearch::found(qsizetype start)
{
    wentAround = pending->aroundEnd;
    pending.reset();
    match = start;
    matchIndex.reset();
    resolveIndex();
}

qsizetype LogSearch::countStep(qsizetype positions)
{
    qsizetype used = 0;
    while (used < positions && counter < limit()) {
        const qsizetype to = std::min({limit(), nextTally(), counter + positions - used, counter + window});
        used += to - counter;
        advanceCounter(to, countIn(counter, to));
    }
    resolveIndex();
    return used;
}

qsizetype LogSearch::nextTally() const noexcept
{
    return (counter / tallyEvery + 1) * tallyEvery;
}

void LogSearch::advanceCounter(qsizetype to, qsizetype matches)
{
    const qsizetype boundary = nextTally();
    total += matches;
    counter = to;
    if (counter == boundary)
        tallies.push_back(total);
}

void LogSearch::resolveIndex()
{
    if (!match || matchIndex || *match >= counter)
        return;
    const qsizetype tallied = *match / tallyEvery;
    matchIndex = tallies[static_cast<std::size_t>(tallied)] + countIn(tallied * tallyEvery, *match) + 1;
}

char16_t LogSearch::folded(char16_t unit) const noexcept
{
    if (unit < latin1Folded.size())
        return latin1Folded[unit]; // NOLINT(cppcoreguidelines-pro-bounds-constant-array-index): checked above
    if (sensitivity == Qt::CaseSensitive)
        return unit;
    // Simple case folding keeps the Basic Multilingual Plane; surrogates fold to themselves.
    return static_cast<char16_t>(QChar::toCaseFolded(char32_t(unit)));
}

bool LogSearch::matchesAt(qsizetype start) const
{
    qsizetype matched = 0;
    while (matched < needle.size()) {
        const auto units = log.unitsFrom(start + matched);
        const qsizetype span = std::min(std::visit([](auto view) { return view.size(); }, units), needle.size() - matched);
        if (span == 0)
            return false;
        for (qsizetype i = 0; i < span; ++i, ++matched) {
            const auto *latin1 = std::get_if<QLatin1StringView>(&units);
            const char16_t unit = latin1 != nullptr ? static_cast<unsigned char>((*latin1)[i].toLatin1()) : std::get<QStringView>(units)[i].unicode();
            if (folded(unit) != key[static_cast<std::size_t>(matched)])
                return false;
        }
    }
    return true;
}

// Eight units at a time: a byte of word ^ pattern is zero where a unit equals the pattern's, and
// the lowest such byte is the lowest flagged by the borrow trick.
qsizetype LogSearch::nextCandidate(const unsigned char *units, qsizetype at, qsizetype end) const
{
    if (at >= end)
        return end;
    if (startPatterns.size() == 1) {
        const void *hit = std::memchr(units + at, static_cast<int>(startPatterns.front() & 0xFF), static_cast<std::size_t>(end - at));
        return hit == nullptr ? end : static_cast<const unsigned char *>(hit) - units;
    }
    if (!startPatterns.empty()) {
        for (; at + 8 <= end; at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, units + at, sizeof word);
            std::uint64_t hits = 0;
            for (const std::uint64_t pattern : startPatterns)
                hits |= ((word ^ pattern) - eachByte) & ~(word ^ pattern) & highBits;
            if (hits != 0)
                return at + std::countr_zero(hits) / 8;
        }
    }
    for (; at < end; ++at) {
        if (startsMatch[units[at]]) // NOLINT(cppcoreguidelines-pro-bounds-constant-array-index): a byte indexes 256 entries
            return at;
    }
    return end;
}

// Candidates are found by their first unit, a stretch at a time, in the stretch's own width, and
// checked there unless the match would run on into the next stretch.
template<typename OnMatch>
void LogSearch::scan(qsizetype from, qsizetype to, OnMatch onMatch) const
{
    if (key.empty())
        return;
    const char16_t first = key.front();
    const bool anyLatin1 = std::ranges::find(startsMatch, true) != startsMatch.cend();
    const auto rest = static_cast<std::size_t>(needle.size());
    while (from < to) {
        const auto units = log.unitsFrom(from);
        const qsizetype available = std::visit([](auto view) { return view.size(); }, units);
        const qsizetype span = std::min(available, to - from);
        const qsizetype within = available - needle.size(); // candidates up to here are checked in place
        if (const auto *latin1 = std::get_if<QLatin1StringView>(&units); latin1 != nullptr && anyLatin1) {
            const auto *bytes = reinterpret_cast<const unsigned char *>(latin1->data()); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): Latin-1 units read as numbers
            for (qsizetype i = nextCandidate(bytes, 0, span); i < span; i = nextCandidate(bytes, i + 1, span)) {
                bool matches = true;
                if (i <= within) {
                    for (std::size_t k = 1; k < rest && matches; ++k)
                        matches = latin1Folded[bytes[i + static_cast<qsizetype>(k)]] == key[k]; // NOLINT(cppcoreguidelines-pro-bounds-constant-array-index): a byte indexes 256 entries
                } else {
                    matches = matchesAt(from + i);
                }
                if (matches && !onMatch(from + i))
                    return;
            }
        } else if (const auto *wide = std::get_if<QStringView>(&units); wide != nullptr) {
            const char16_t *unit = wide->utf16();
            for (qsizetype i = 0; i < span; ++i) {
                if (folded(unit[i]) != first)
                    continue;
                bool matches = true;
                if (i <= within) {
                    for (std::size_t k = 1; k < rest && matches; ++k)
                        matches = folded(unit[i + static_cast<qsizetype>(k)]) == key[k];
                } else {
                    matches = matchesAt(from + i);
                }
                if (matches && !onMatch(from + i))
                    return;
            }
        }
        from += span;
    }
}

qsizetype LogSearch::countIn(qsizetype from, qsizetype to) const
{
    qsizetype found = 0;
    if (from < to) {
        scan(from, to, [&found](qsizetype) {
            ++found;
            return true;
        });
    }
    return found;
}

qsizetype LogSearch::firstIn(qsizetype from, qsizetype to) const
{
    qsizetype first = -1;
    scan(from, to, [&first](qsizetype start) {
        first = start;
        return false;
    });
    return first;
}

qsizetype LogSearch::lastIn(qsizetype from, qsizetype to) const
{
    qsizetype last = -1;
    scan(from, to, [&last](qsizetype start) {
        last = start;
        return true;
    });
    return last;
}

std::vector<qsizetype> LogSearch::matchesIn(qsizetype from, qsizetype to) const
{
    std::vector<qsizetype> starts;
    scan(std::max<qsizetype>(from - needle.size() + 1, 0), std::min(to, limit()), [&starts](qsizetype start) {
        starts.push_back(start);
        return true;
    });
    return starts;
}
