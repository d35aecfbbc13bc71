#include "platform/log/LogMessages.h"

#include "platform/log/ReadableColour.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Every opening is at least this long; its head is compared with a line's at once, as most lines
// that start like a message, "Parsing ..." among them, differ within it.
constexpr qsizetype headUnits = 8;

struct Form
{
    constexpr Form(QLatin1StringView opening, LogMessages::Kind kind)
        : opening(opening)
        , kind(kind)
    {
        for (qsizetype i = 0; i < headUnits; ++i)
            head.at(std::size_t(i)) = static_cast<uchar>(opening.at(i).toLatin1());
    }

    [[nodiscard]] bool opens(QStringView text) const
    {
        if (text.size() < opening.size() || std::memcmp(text.utf16(), head.data(), sizeof head) != 0)
            return false;
        for (qsizetype i = headUnits; i < opening.size(); ++i) {
            if (text[i].unicode() != static_cast<uchar>(opening[i].toLatin1()))
                return false;
        }
        return true;
    }

    QLatin1StringView opening;
    LogMessages::Kind kind = LogMessages::Kind::None;
    std::array<char16_t, headUnits> head{};
};

// How POV-Ray 3.7 opens its messages, as Debian's build writes them. The first that opens a line
// decides; a parse message may be preceded by where it points: "File 'scene.pov' line 4: ".
constexpr std::array forms{
    Form{"Fatal error in renderer: Frontend halted render."_L1, LogMessages::Kind::None}, // a stop
    Form{"Fatal error in "_L1, LogMessages::Kind::Error},
    Form{"POV-Ray Critical Error:"_L1, LogMessages::Kind::Error},
    Form{"Parse Error:"_L1, LogMessages::Kind::Error},
    Form{"Possible Parse Error:"_L1, LogMessages::Kind::Warning},
    Form{"Parse Warning:"_L1, LogMessages::Kind::Warning},
    Form{"Warning:"_L1, LogMessages::Kind::Warning},
};

// Enough of a line for its kind, even behind the longest path a system takes.
constexpr qsizetype headLimit = 4200;

QStringView withoutLocation(QStringView line)
{
    constexpr auto file = "File '"_L1;
    constexpr auto lineWord = "' line "_L1;
    if (line.front() != file.front() || !line.startsWith(file))
        return line;
    const qsizetype quoteEnd = line.indexOf(lineWord, file.size());
    if (quoteEnd < 0)
        return line;
    qsizetype at = quoteEnd + lineWord.size();
    const qsizetype digits = at;
    while (at < line.size() && line[at].isDigit())
        ++at;
    return at > digits && line.sliced(at).startsWith(": "_L1) ? line.sliced(at + 2) : line;
}

// The characters a line must start with to open a message or continue one; most lines of a flood
// are passed over on this alone.
constexpr auto mayMatterStarts = [] {
    std::array<bool, 128> starts{};
    for (const Form &form : forms)
        starts.at(static_cast<uchar>(form.opening.front().toLatin1())) = true;
    starts.at('F') = true; // where a parse message points
    starts.at(' ') = true;
    return starts;
}();

bool mayMatter(QStringView line)
{
    return !line.isEmpty() && line.front().unicode() < mayMatterStarts.size() && mayMatterStarts.at(line.front().unicode());
}

// Whether no message opens with a line's first headUnits characters: then no line opening with
// them does. A line that may point to a file, or continue a message, is not told by its head.
bool headOpensNoMessage(QStringView line)
{
    return line.size() >= headUnits && line.front() != u'F' && line.front() != u' '
        && std::ranges::none_of(forms, [&line](const Form &form) { return std::memcmp(line.utf16(), form.head.data(), sizeof form.head) == 0; });
}

constexpr qsizetype markedUnits = 4096; // a multiple of 64

#if defined(__SSE2__)
// Marks the '\n' among count characters, at most markedUnits, one bit each.
void markNewlines(const char16_t *units, qsizetype count, std::array<quint64, markedUnits / 64> &marks)
{
    const __m128i newline = _mm_set1_epi16(u'\n');
    const auto found = [&](qsizetype at) {
        __m128i low{};
        __m128i high{};
        std::memcpy(&low, units + at, sizeof low); // unaligned loads
        std::memcpy(&high, units + at + 8, sizeof high);
        return static_cast<quint32>(_mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(low, newline), _mm_cmpeq_epi16(high, newline))));
    };
    for (qsizetype at = 0; at + 32 <= count; at += 32)
        marks.at(std::size_t(at / 64)) |= quint64{found(at) | found(at + 16) << 16} << (at % 64);
}

// The same with AVX2, 16 characters a comparison.
__attribute__((target("avx2"))) void markNewlinesAvx2(const char16_t *units, qsizetype count, std::array<quint64, markedUnits / 64> &marks)
{
    const __m256i newline = _mm256_set1_epi16(u'\n');
    for (qsizetype at = 0; at + 32 <= count; at += 32) {
        __m256i low{};
        __m256i high{};
        std::memcpy(&low, units + at, sizeof low); // unaligned loads
        std::memcpy(&high, units + at + 16, sizeof high);
        // Packing works within each half of the register; the permutation puts the bytes in order.
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packs_epi16(_mm256_cmpeq_epi16(low, newline), _mm256_cmpeq_epi16(high, newline)), 0xD8);
        marks.at(std::size_t(at / 64)) |= quint64{static_cast<quint32>(_mm256_movemask_epi8(bytes))} << (at % 64);
    }
}
#endif

// Calls lineEnd with the position of every '\n' in text, in order. A flood's lines are short, so
// rather than by a search call each they are marked a stretch at a time, 32 characters at once
// (with AVX2 where the processor has it), and read from the marks.
template<typename LineEnd>
void forEachNewline(QStringView text, LineEnd &&lineEnd)
{
    const char16_t *const units = text.utf16();
#if defined(__SSE2__)
    const bool avx2 = __builtin_cpu_supports("avx2");
#endif
    for (qsizetype start = 0; start < text.size(); start += markedUnits) {
        const qsizetype count = std::min(markedUnits, text.size() - start);
        std::array<quint64, markedUnits / 64> marks{};
        qsizetype marked = 0;
#if defined(__SSE2__)
        (avx2 ? markNewlinesAvx2 : markNewlines)(units + start, count, marks);
        marked = count - count % 32;
#endif
        for (qsizetype at = marked; at < count; ++at) {
            if (units[start + at] == u'\n')
                marks.at(std::size_t(at / 64)) |= quint64{1} << (at % 64);
        }
        for (std::size_t word = 0; word < marks.size(); ++word) {
            for (quint64 found = marks.at(word); found != 0; found &= found - 1)
                lineEnd(start + qsizetype(word) * 64 + std::countr_zero(found));
        }
    }
}

} // namespace

LogMessages::LogMessages()
{
    setBackground(Qt::white);
}

LogMessages::Kind LogMessages::kindOf(QStringView line, bool ended)
{
    // Most lines are told apart by their first character alone.
    if (!mayMatter(line) || line.front() == u' ')
        return Kind::None;
    const QStringView rest = withoutLocation(line);
    for (const Form &form : forms) {
        if (!rest.isEmpty() && rest.front() != form.opening.front())
            continue;
        if (form.opens(rest) || (!ended && form.kind == Kind::None && form.opening.startsWith(rest)))
            return form.kind;
    }
    return Kind::None;
}

void LogMessages::clear()
{
    kept = {};
    lastPlainHead = {};
    errors = warnings = length = lineStart = 0;
    lineHead.resize(0);
    continuable = -1;
    provisionalKind = Kind::None;
    provisionalKept = false;
    endBeforeProvisional = -1;
}

void LogMessages::append(QStringView text)
{
    static_assert(std::tuple_size_v<decltype(lastPlainHead)> == headUnits);
    undoProvisional();
    const qsizetype base = length; // where text starts in the log
    qsizetype from = 0;
    forEachNewline(text, [&](qsizetype newline) {
        const QStringView line = text.sliced(from, newline - from);
        // Only a line begun in an earlier piece of output is copied, and only its opening.
        if (from == 0 && length > lineStart) {
            keepHead(line);
            length = base + newline;
            endLine(lineHead);
            lineHead.resize(0);
        } else if (mayMatter(line) && (line.size() < headUnits || std::memcmp(line.utf16(), lastPlainHead.data(), sizeof lastPlainHead) != 0)) {
            lineStart = base + from;
            length = base + newline;
            endLine(line);
            // A flood repeats its lines' openings: one known to open nothing is passed over next time.
            if (headOpensNoMessage(line))
                std::memcpy(lastPlainHead.data(), line.utf16(), sizeof lastPlainHead);
        } else {
            continuable = -1;
        }
        from = newline + 1;
    });
    if (from > 0)
        lineStart = base + from;
    length = base + text.size();
    if (from < text.size()) {
        keepHead(text.sliced(from));
        takeProvisionally();
    }
}

void LogMessages::keepHead(QStringView piece)
{
    lineHead.append(piece.first(std::min(piece.size(), std::max<qsizetype>(0, headLimit - lineHead.size()))));
}

void LogMessages::endLine(QStringView line)
{
    const Kind kind = kindOf(line);
    if (kind != Kind::None)
        continuable = push(kind) ? size() - 1 : -1;
    else if (continuable >= 0 && line.startsWith(u' '))
        kept.back().end = length;
    else
        continuable = -1;
}

// A line still arriving is shown and counted as it reads so far: a render may end, or pause, there.
void LogMessages::takeProvisionally()
{
    const Kind kind = kindOf(lineHead, false);
    if (kind != Kind::None) {
        provisionalKind = kind;
        provisionalKept = push(kind);
    } else if (continuable >= 0 && lineHead.startsWith(u' ')) {
        endBeforeProvisional = kept.back().end;
        kept.back().end = length;
    }
}

void LogMessages::undoProvisional()
{
    if (provisionalKind != Kind::None) {
        count(provisionalKind, -1);
        if (provisionalKept) {
            kept.pop_back();
        }
    } else if (endBeforeProvisional >= 0) {
        kept.back().end = endBeforeProvisional;
    }
    provisionalKind = Kind::None;
    provisionalKept = false;
    endBeforeProvisional = -1;
}

bool LogMessages::push(Kind kind)
{
    count(kind, 1);
    if (size() >= storedLimit)
        return false;
    kept.push_back({lineStart, length, kind});
    return true;
}

void LogMessages::count(Kind kind, qsizetype by)
{
    (kind == Kind::Error ? errors : warnings) += by;
}

LogMessages::Message LogMessages::at(qsizetype index) const
{
    return kept.at(std::size_t(index));
}

qsizetype LogMessages::firstFrom(qsizetype position) const
{
    return std::ranges::lower_bound(kept, position, {}, &Message::start) - kept.begin();
}

void LogMessages::setBackground(const QColor &base)
{
    errorFormat.setForeground(ReadableColour::on(base, QColor(0xd3, 0x2f, 0x2f)));
    warningFormat.setForeground(ReadableColour::on(base, QColor(0xb8, 0x6e, 0x00)));
}

void LogMessages::highlightsIn(qsizetype start, qsizetype end, std::vector<LogHighlight> &into) const
{
    for (auto message = std::ranges::upper_bound(kept, start, {}, &Message::end); message != kept.end() && message->start < end; ++message)
        into.push_back({message->start, message->end, message->kind == Kind::Warning ? warningFormat : errorFormat});
}
