#include "platform/log/LogMessages.h"

#include "platform/log/ReadableColour.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
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

// Calls lineEnd with the position of every '\n' in text, in order. A flood's lines are short, so
// they are found 16 characters at a time rather than by a search call each.
template<typename LineEnd>
void forEachNewline(QStringView text, LineEnd &&lineEnd)
{
    const char16_t *const units = text.utf16();
    qsizetype at = 0;
#if defined(__SSE2__)
    constexpr qsizetype block = 16;
    const __m128i newline = _mm_set1_epi16(u'\n');
    for (; at + block <= text.size(); at += block) {
        __m128i low{};
        __m128i high{};
        std::memcpy(&low, units + at, sizeof low); // unaligned loads
        std::memcpy(&high, units + at + block / 2, sizeof high);
        auto found = static_cast<quint32>(_mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(low, newline), _mm_cmpeq_epi16(high, newline))));
        for (; found != 0; found &= found - 1)
            lineEnd(at + std::countr_zero(found));
    }
#endif
    for (; at < text.size(); ++at) {
        if (units[at] == u'\n')
            lineEnd(at);
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
    errors = warnings = length = lineStart = 0;
    lineHead.resize(0);
    continuable = -1;
    provisionalKind = Kind::None;
    provisionalKept = false;
    endBeforeProvisional = -1;
}

void LogMessages::append(QStringView text)
{
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
        } else if (mayMatter(line)) {
            lineStart = base + from;
            length = base + newline;
            endLine(line);
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
