#include "platform/log/CopiedText.h"

#include "platform/log/LogView.h"

namespace {

// About a millisecond's copying: small enough that the window keeps painting in between.
constexpr qsizetype pieceUnits = qsizetype{1} << 20;

} // namespace

CopiedText::CopiedText(const LogView &view, qsizetype from, qsizetype to)
    : view(&view)
    , next(from)
    , end(to)
{
    copied.reserve(to - from);
    copyPiece();
    connect(&pieces, &QTimer::timeout, this, &CopiedText::copyPiece);
    if (next < end)
        pieces.start(0);
}

void CopiedText::copyPiece()
{
    const qsizetype to = std::min(end, next + pieceUnits);
    if (view != nullptr)
        copied.append(view->textRange(next, to));
    next = to;
    if (next >= end)
        pieces.stop();
}

void CopiedText::finish()
{
    if (view != nullptr && next < end)
        copied.append(view->textRange(next, end));
    next = end;
    pieces.stop();
}

QStringList CopiedText::formats() const
{
    return {QStringLiteral("text/plain")};
}

bool CopiedText::hasFormat(const QString &mimeType) const
{
    return mimeType == QLatin1String("text/plain");
}

QVariant CopiedText::retrieveData(const QString &mimeType, QMetaType /*type*/) const
{
    if (!hasFormat(mimeType))
        return {};
    // The clipboard only ever hands out a const QMimeData; asking early is the reader's right.
    const_cast<CopiedText *>(this)->finish(); // NOLINT(cppcoreguidelines-pro-type-const-cast)
    return copied;
}
