// A byte stream cut at arbitrary points must decode to the same text as the whole stream at once.
// The input's first byte says how many of the bytes after it are piece lengths; the rest is the
// stream. The text must be valid UTF-16 without a CR, hold exactly the stream's NULs and line ends,
// never outgrow the stream, and give back the stream's own bytes, with each CR LF and lone CR made
// LF, whenever nothing had to be replaced.

#include "platform/log/OutputTextDecoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

QString decodeWhole(QByteArrayView stream)
{
    OutputTextDecoder decoder;
    QString text = decoder.decode(stream);
    check(text.size() <= stream.size());
    return text + decoder.flush();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArrayView input(data, static_cast<qsizetype>(size));
    if (input.isEmpty())
        return 0;
    const qsizetype cutCount = std::min<qsizetype>(static_cast<unsigned char>(input.front()) % 16, input.size() - 1);
    const QByteArrayView lengths = input.sliced(1, cutCount);
    const QByteArrayView stream = input.sliced(1 + cutCount);

    const QString whole = decodeWhole(stream);
    const QByteArray lines = stream.toByteArray().replace("\r\n", "\n").replace('\r', '\n');
    check(whole.size() <= stream.size());
    check(whole.isValidUtf16());
    check(!whole.contains(u'\r'));
    check(whole.count(QChar(u'\0')) == stream.count('\0'));
    check(whole.count(u'\n') == lines.count('\n'));
    if (!whole.contains(QChar(0xFFFD)))
        check(whole.toUtf8() == lines);
    check(decodeWhole(whole.toUtf8()) == whole);

    OutputTextDecoder decoder;
    QString pieces;
    QByteArrayView rest = stream;
    for (const char length : lengths) {
        const QByteArrayView piece = rest.first(std::min<qsizetype>(static_cast<unsigned char>(length), rest.size()));
        const QString &text = decoder.decode(piece);
        check(text.size() <= piece.size() + 1);
        pieces += text;
        rest = rest.sliced(piece.size());
    }
    pieces += decoder.decode(rest);
    pieces += decoder.flush();
    check(pieces == whole);
    return 0;
}
