#include "platform/Utf8StreamDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace {

bool isAscii(QByteArrayView bytes)
{
    constexpr std::uint64_t highBits = 0x8080808080808080U;
    qsizetype at = 0;
    for (std::uint64_t word = 0; at + 8 <= bytes.size(); at += 8) {
        std::memcpy(&word, bytes.data() + at, sizeof word);
        if ((word & highBits) != 0)
            return false;
    }
    for (; at < bytes.size(); ++at) {
        if (static_cast<unsigned char>(bytes[at]) >= 0x80)
            return false;
    }
    return true;
}

constexpr char16_t replacementCharacter = 0xFFFD;

// Well-formed UTF-8 as Unicode defines it: each lead byte fixes how many continuation bytes follow
// and the range the first of them must lie in, which rules out overlong forms, surrogates and code
// points above U+10FFFF.
struct LeadByte
{
    unsigned char first;
    unsigned char last;
    int continuations;
    unsigned char lowest;
    unsigned char highest;
};

constexpr std::array leadBytes{
    LeadByte{0xC2, 0xDF, 1, 0x80, 0xBF},
    LeadByte{0xE0, 0xE0, 2, 0xA0, 0xBF},
    LeadByte{0xE1, 0xEC, 2, 0x80, 0xBF},
    LeadByte{0xED, 0xED, 2, 0x80, 0x9F},
    LeadByte{0xEE, 0xEF, 2, 0x80, 0xBF},
    LeadByte{0xF0, 0xF0, 3, 0x90, 0xBF},
    LeadByte{0xF1, 0xF3, 3, 0x80, 0xBF},
    LeadByte{0xF4, 0xF4, 3, 0x80, 0x8F},
};

void put(char32_t codePoint, char16_t *&out)
{
    if (codePoint < 0x10000) {
        *out++ = static_cast<char16_t>(codePoint);
    } else {
        *out++ = static_cast<char16_t>(0xD7C0 + (codePoint >> 10));
        *out++ = static_cast<char16_t>(0xDC00 | (codePoint & 0x3FF));
    }
}

} // namespace

void Utf8StreamDecoder::startSequence(unsigned char byte, char16_t *&out)
{
    if (byte < 0x80) {
        *out++ = byte;
        return;
    }
    const auto *const lead = std::ranges::find_if(leadBytes, [byte](const LeadByte &candidate) {
        return byte >= candidate.first && byte <= candidate.last;
    });
    if (lead == leadBytes.end()) {
        *out++ = replacementCharacter;
        return;
    }
    needed = lead->continuations;
    codePoint = byte & (0x7FU >> (needed + 1));
    lowest = lead->lowest;
    highest = lead->highest;
}

QString Utf8StreamDecoder::decode(QByteArrayView bytes)
{
    // Renderer output is nearly always plain ASCII, which Qt widens many bytes at a time.
    if (needed == 0 && isAscii(bytes))
        return QString::fromLatin1(bytes);
    // Never more UTF-16 units than bytes, plus one for a sequence ended early by the first byte.
    QString text(bytes.size() + 1, Qt::Uninitialized);
    auto *const begin = reinterpret_cast<char16_t *>(text.data()); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): QChar is one UTF-16 unit
    char16_t *out = begin;
    for (const char signedByte : bytes) {
        const auto byte = static_cast<unsigned char>(signedByte);
        if (needed == 0) {
            startSequence(byte, out);
            continue;
        }
        if (byte < lowest || byte > highest) {
            *out++ = replacementCharacter;
            needed = 0;
            startSequence(byte, out);
            continue;
        }
        codePoint = (codePoint << 6) | (byte & 0x3FU);
        lowest = 0x80;
        highest = 0xBF;
        if (--needed == 0)
            put(codePoint, out);
    }
    text.truncate(out - begin);
    return text;
}

QString Utf8StreamDecoder::flush()
{
    if (needed == 0)
        return {};
    needed = 0;
    return {QChar(replacementCharacter)};
}
