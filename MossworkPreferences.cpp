#include "MossworkPreferences.h"

#include "platform/process/UniqueFd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr QByteArrayView renderFilenameKey = "render_filename";

// Adds one piece of a line, without its line end, to what is kept of it. fgets and strchr saw a line
// as ending at its first NUL byte, so nothing after one counts; nor does any of a line that can no
// longer start with the key.
void keepRelevant(QByteArray &line, bool &complete, QByteArrayView piece)
{
    if (complete)
        return;
    if (const qsizetype nul = piece.indexOf('\0'); nul >= 0) {
        piece.truncate(nul);
        complete = true;
    }
    line.append(piece);
    const qsizetype compared = std::min(line.size(), renderFilenameKey.size());
    if (QByteArrayView(line).first(compared) != renderFilenameKey.first(compared)) {
        line.clear();
        complete = true;
    }
}

std::optional<QByteArray> renderFilenameValue(QByteArrayView line)
{
    if (!line.startsWith(renderFilenameKey))
        return std::nullopt;
    const qsizetype openingQuote = line.indexOf('"');
    const qsizetype closingQuote = line.lastIndexOf('"');
    if (openingQuote < 0 || closingQuote <= openingQuote + 1)
        return std::nullopt;
    return line.sliced(openingQuote + 1, closingQuote - openingQuote - 1).toByteArray();
}

} // namespace

QByteArray MossworkPreferences::preferencesPath()
{
    // Taken as bytes, which need not be UTF-8: a decoded QString would lose them.
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        const passwd *user = ::getpwuid(::getuid());
        if (user != nullptr)
            home = user->pw_dir;
    }
    // Without any home there is no file to read, rather than one at the filesystem's root.
    return home.isEmpty() ? QByteArray() : home + "/.mossworkprefs";
}

std::optional<QByteArray> MossworkPreferences::readRenderFilename(const QByteArray &path)
{
    // Non-blocking, so that a FIFO in its place cannot hold the window; only a regular file counts.
    const UniqueFd file(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!file.isValid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;

    std::array<char, std::size_t{64} * 1024> buffer{};
    return scanRenderFilename([&]() -> QByteArrayView {
        for (;;) {
            const ssize_t count = ::read(file.get(), buffer.data(), buffer.size());
            if (count < 0 && errno == EINTR)
                continue;
            return {buffer.data(), std::max<ssize_t>(count, 0)};
        }
    });
}

std::optional<QByteArray> MossworkPreferences::scanRenderFilename(const std::function<QByteArrayView()> &nextPiece)
{
    std::optional<QByteArray> sceneFile;
    QByteArray line;
    bool complete = false;
    for (QByteArrayView piece = nextPiece(); !piece.isEmpty(); piece = nextPiece()) {
        for (qsizetype lineEnd = piece.indexOf('\n'); lineEnd >= 0; lineEnd = piece.indexOf('\n')) {
            keepRelevant(line, complete, piece.first(lineEnd));
            if (auto value = renderFilenameValue(line))
                sceneFile = std::move(value);
            line.clear();
            complete = false;
            piece = piece.sliced(lineEnd + 1);
        }
        keepRelevant(line, complete, piece);
    }
    if (auto value = renderFilenameValue(line))
        sceneFile = std::move(value);
    return sceneFile;
}
