// Any bytes as the preferences file: reading it from disk, and scanning it whole or cut into pieces of
// every size up to 17 bytes, must find the same scene path, and that path must be one the file holds
// between two quotes of one line, without a NUL or a line end.

#include "MossworkPreferences.h"

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::optional<QByteArray> scanInPieces(QByteArrayView content, qsizetype pieceSize)
{
    return MossworkPreferences::scanRenderFilename([&]() -> QByteArrayView {
        const QByteArrayView piece = content.first(std::min(pieceSize, content.size()));
        content = content.sliced(piece.size());
        return piece;
    });
}

std::optional<QByteArray> readFromFile(QByteArrayView content)
{
    const int file = ::memfd_create("mossworkprefs", MFD_CLOEXEC);
    check(file >= 0);
    check(::write(file, content.data(), static_cast<std::size_t>(content.size())) == content.size());
    auto scene = MossworkPreferences::readRenderFilename(QByteArray("/proc/self/fd/") + std::to_string(file).c_str());
    ::close(file);
    return scene;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView content(data, static_cast<qsizetype>(size));
    const std::optional<QByteArray> scene = scanInPieces(content, std::max<qsizetype>(content.size(), 1));
    check(readFromFile(content) == scene);
    for (qsizetype pieceSize = 1; pieceSize <= 17; ++pieceSize)
        check(scanInPieces(content, pieceSize) == scene);
    if (!scene)
        return 0;
    check(!scene->isEmpty() && !scene->contains('\0') && !scene->contains('\n'));
    const QByteArray quoted = '"' + *scene + '"';
    bool onAKeyLine = false;
    for (qsizetype at = content.indexOf(quoted); at >= 0 && !onAKeyLine; at = content.indexOf(quoted, at + 1))
        onAKeyLine = content.sliced(content.first(at).lastIndexOf('\n') + 1).startsWith("render_filename");
    check(onAKeyLine);
    return 0;
}
