#include "platform/log/LogMessages.h"

#include "platform/log/ReadableColour.h"

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

struct Form
{
    QLatin1StringView opening;
    LogMessages::Kind kind = LogMessages::Kind::None;
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
    if (!line.startsWith(file))
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

} // namespace

LogMessages::LogMessages()
{
    setBackground(Qt::white);
}

LogMessages::Kind LogMessages::kindOf(QStringView line, bool ended)
{
    // Most lines are told apart by their first character alone.
    if (line.isEmpty() || std::ranges::none_of(forms, [&line](const Form &form) { return form.opening.front() == line.front(); }))
        return Kind::None;
    const QStringView rest = withoutLocation(line);
    for (const Form &form : forms) {
        if (!rest.isEmpty() && rest.front() != form.opening.front())
            continue;
        if (rest.startsWith(form.opening) || (!ended && form.kind == Kind::None && form.opening.startsWith(rest)))
            return form.kind;
    }
    return Kind::None;
}

void LogMessages::clear()
{
    starts = {};
    ends = {};
    isWarning = {};
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
    qsizetype from = 0;
    for (qsizetype newline = 0; (newline = text.indexOf(u'\n', from)) >= 0; from = newline + 1) {
        const QStringView piece = text.sliced(from, newline - from);
        // Only a line begun in an earlier piece of output is copied, and only its opening.
        const bool begunBefore = length > lineStart;
        if (begunBefore)
            keepHead(piece);
        length += piece.size();
        endLine(begunBefore ? QStringView(lineHead) : piece);
        lineStart = ++length;
        lineHead.resize(0);
    }
    if (from < text.size()) {
        keepHead(text.sliced(from));
        length += text.size() - from;
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
        ends.back() = length;
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
        endBeforeProvisional = ends.back();
        ends.back() = length;
    }
}

void LogMessages::undoProvisional()
{
    if (provisionalKind != Kind::None) {
        count(provisionalKind, -1);
        if (provisionalKept) {
            starts.pop_back();
            ends.pop_back();
            isWarning.pop_back();
        }
    } else if (endBeforeProvisional >= 0) {
        ends.back() = endBeforeProvisional;
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
    starts.push_back(lineStart);
    ends.push_back(length);
    isWarning.push_back(kind == Kind::Warning);
    return true;
}

void LogMessages::count(Kind kind, qsizetype by)
{
    (kind == Kind::Error ? errors : warnings) += by;
}

LogMessages::Message LogMessages::at(qsizetype index) const
{
    const auto i = std::size_t(index);
    return {starts.at(i), ends.at(i), isWarning.at(i) ? Kind::Warning : Kind::Error};
}

qsizetype LogMessages::firstFrom(qsizetype position) const
{
    return std::lower_bound(starts.begin(), starts.end(), position) - starts.begin();
}

void LogMessages::setBackground(const QColor &base)
{
    errorFormat.setForeground(ReadableColour::on(base, QColor(0xd3, 0x2f, 0x2f)));
    warningFormat.setForeground(ReadableColour::on(base, QColor(0xb8, 0x6e, 0x00)));
}

void LogMessages::highlightsIn(qsizetype start, qsizetype end, std::vector<LogHighlight> &into) const
{
    for (auto i = std::size_t(std::upper_bound(ends.begin(), ends.end(), start) - ends.begin());
        i < starts.size() && starts[i] < end; ++i)
        into.push_back({starts[i], ends[i], isWarning[i] ? warningFormat : errorFormat});
}
