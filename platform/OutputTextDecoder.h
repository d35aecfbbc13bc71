#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>

// Decodes UTF-8 that arrives in arbitrary pieces: a character split between two pieces is carried
// over, so the text does not depend on where the stream was cut. Each maximal ill-formed subsequence
// becomes one U+FFFD, as Unicode recommends.
class Utf8StreamDecoder
{
public:
    [[nodiscard]] QString decode(QByteArrayView bytes);

    // The end of the stream: an incomplete character still held becomes U+FFFD.
    [[nodiscard]] QString flush();

    [[nodiscard]] bool hasPendingBytes() const noexcept { return needed > 0; }

private:
    void startSequence(unsigned char byte, char16_t *&out);

    char32_t codePoint = 0;
    int needed = 0;
    unsigned char lowest = 0x80;
    unsigned char highest = 0xBF;
};
