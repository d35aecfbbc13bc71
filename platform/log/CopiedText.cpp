#include "platform/log/CopiedText.h"

#include "platform/log/LogView.h"

namespace {

// About a millisecond's encoding: small enough that the window keeps painting in between.
constexpr qsizetype pieceUnits = qsizetype{1} << 20;

// The plain text's names: Qt's own, and the one other programs ask for by charset.
constexpr QLatin1String plainText("text/plain");
constexpr QLatin1String utf8Text("text/plain;charset=utf-8");

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
    qsizetype to = std::min(end, next + pieceUnits);
    if (view != nullptr) {
        QString piece = view->textRange(next, to);
        // A character outside the BMP is encoded whole, in the piece that holds its first half.
        if (to < end && piece.back().isHighSurrogate()) {
            piece.chop(1);
            --to;
        }
        copied.append(piece.toUtf8());
    }
    next = to;
    if (next >= end)
        pieces.stop();
}

void CopiedText::finish()
{
    if (view != nullptr && next < end)
        copied.append(view->textRange(next, end).toUtf8());
    next = end;
    pieces.stop();
}

QStringList CopiedText::formats() const
{
    return {plainText, utf8Text};
}

bool CopiedText::hasFormat(const QString &mimeType) const
{
    return mimeType == plainText || mimeType == utf8Text;
}

QVariant CopiedText::retrieveData(const QString &mimeType, QMetaType /*type*/) const
{
    if (!hasFormat(mimeType))
        return {};
    // The clipboard only ever hands out a const QMimeData; asking early is the reader's right.
    const_cast<CopiedText *>(this)->finish(); // NOLINT(cppcoreguidelines-pro-type-const-cast)
    // Shared, not copied; Qt turns it into a QString only for whoever asks for one.
    return copied;
}
