#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <optional>

// Mosswork's preferences file, ~/.mossworkprefs, as far as Kilnlight reads it: the scene path of
// its render_filename line. Paths and values are raw bytes, never decoded, since neither need be
// UTF-8.
class MossworkPreferences
{
public:
    MossworkPreferences() = delete;

    // Where the file lies: in the directory named by HOME or, when HOME is unset or empty, in the
    // user's home directory from the user database. Empty when neither names one: nothing to read.
    [[nodiscard]] static QByteArray preferencesPath();

    // The scene path of the last usable render_filename line of the file at path: the bytes between
    // the line's first and last double quote. nullopt when there is none, or the file cannot be read
    // as a regular file.
    [[nodiscard]] static std::optional<QByteArray> readRenderFilename(const QByteArray &path);
    // The same for preferences handed over in pieces: nextPiece gives the next bytes of the file,
    // cut anywhere, and an empty piece at its end. Memory stays bounded by the longest line that
    // could still be usable, however long the others.
    [[nodiscard]] static std::optional<QByteArray> scanRenderFilename(const std::function<QByteArrayView()> &nextPiece);
};
