#pragma once

#include <QByteArrayView>
#include <QString>

// Turns a child's output, arriving in arbitrary pieces, into the log's text: UTF-8 is decoded, each
// maximal ill-formed subsequence becoming one U+FFFD as Unicode recommends, and line ends are made
// '\n' (a lone CR, which renderers end progress lines with, is one; so is CR LF). A character or a
// CR LF split between two pieces is carried over, so the text does not depend on where the stream
// was cut. The text never holds a CR and never has more UTF-16 units than the bytes it came from.
class OutputTextDecoder
{
public:
    // The text of the next piece. It stays valid until the next call: its memory is reused, so a
    // long run does not ask the system for memory on every read.
    [[nodiscard]] const QString &decode(QByteArrayView bytes);

    // The end of the stream: an incomplete character still held becomes U+FFFD.
    [[nodiscard]] QString flush();

private:
    void decodeByte(unsigned char byte, char16_t *&out);
    void startSequence(unsigned char byte, char16_t *&out);
    void putAscii(unsigned char byte, char16_t *&out);
    void put(char32_t codePoint, char16_t *&out);

    QString text;
    char32_t codePoint = 0;
    int needed = 0;
    unsigned char lowest = 0x80;
    unsigned char highest = 0xBF;
    // The last unit given out was a CR made '\n': a LF next belongs to the same line end.
    bool afterCarriageReturn = false;
};
