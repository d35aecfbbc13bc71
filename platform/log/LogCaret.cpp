#include "platform/log/LogCaret.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

// The stretch read first, doubled until an edge is found or the reach is spent.
constexpr qsizetype wordPiece = 4096;
// Read beyond the position, so that the rules, which look a few characters ahead and behind, see
// what surrounds it; boundaries this close to a stretch's cut edge are not trusted.
constexpr qsizetype wordContext = 16;

} // namespace

LogCaret::LogCaret(const LogText &text)
    : content(text)
{
}

qsizetype LogCaret::wordEdge(qsizetype position, qsizetype limit, bool backwards, bool ends) const
{
    const QTextBoundaryFinder::BoundaryReasons wanted = ends ? QTextBoundaryFinder::StartOfItem | QTextBoundaryFinder::EndOfItem
                                                             : QTextBoundaryFinder::StartOfItem;
    for (qsizetype reach = wordPiece;; reach *= 2) {
        reach = std::min(reach, wordReach);
        const qsizetype from = backwards ? std::max(limit, position - reach) : std::max<qsizetype>(position - wordContext, 0);
        const qsizetype to = backwards ? std::min(position + wordContext, content.size()) : std::min(limit, position + reach);
        const QString near = content.mid(from, to);
        QTextBoundaryFinder boundary(QTextBoundaryFinder::Word, near);
        boundary.setPosition(position - from);
        for (qsizetype at = backwards ? boundary.toPreviousBoundary() : boundary.toNextBoundary(); at > 0 && at < near.size();
             at = backwards ? boundary.toPreviousBoundary() : boundary.toNextBoundary()) {
            const bool trusted = backwards ? (from == limit || at >= wordContext) : (to == limit || from + at <= to - wordContext);
            if (trusted && (boundary.boundaryReasons() & wanted) != 0)
                return from + at;
        }
        const qsizetype edge = backwards ? from : to;
        if (edge == limit || reach == wordReach)
            return edge;
    }
}

std::pair<qsizetype, qsizetype> LogCaret::wordAt(qsizetype position) const
{
    position = std::clamp<qsizetype>(position, 0, content.size());
    const qsizetype line = content.lineAt(position);
    const qsizetype end = std::max(content.lineEnd(line), std::min(position + 1, content.size()));
    return {wordEdge(std::min(position + 1, end), content.lineStart(line), true, true), wordEdge(position, end, false, true)};
}

qsizetype LogCaret::moved(qsizetype position, Motion motion, int rows) const
{
    const qsizetype line = content.lineAt(position);
    const qsizetype column = position - content.lineStart(line);
    const auto toLine = [&](qsizetype target) {
        target = std::clamp<qsizetype>(target, 0, content.lineCount() - 1);
        return std::min(content.lineStart(target) + column, content.lineEnd(target));
    };
    switch (motion) {
    case NextCharacter:
        return std::min(position + 1, content.size());
    case PreviousCharacter:
        return std::max<qsizetype>(position - 1, 0);
    case NextWord:
        if (position == content.lineEnd(line))
            return std::min(position + 1, content.size());
        return wordEdge(position, content.lineEnd(line), false, false);
    case PreviousWord:
        if (position == content.lineStart(line))
            return std::max<qsizetype>(position - 1, 0);
        return wordEdge(position, content.lineStart(line), true, false);
    case NextLine:
        return line + 1 < content.lineCount() ? toLine(line + 1) : content.size();
    case PreviousLine:
        return line > 0 ? toLine(line - 1) : 0;
    case StartOfLine:
        return content.lineStart(line);
    case EndOfLine:
        return content.lineEnd(line);
    case StartOfDocument:
        return 0;
    case EndOfDocument:
        return content.size();
    case NextPage:
        return toLine(line + rows);
    case PreviousPage:
        return toLine(line - rows);
    }
    return position;
}
