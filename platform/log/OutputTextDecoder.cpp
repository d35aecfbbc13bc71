#include "platform/log/OutputTextDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

constexpr char16_t replacementCharacter = 0xFFFD;

// Bytes are checked a word at a time and widened in fixed groups, which the compiler vectorises.
constexpr qsizetype groupBytes = 32;
constexpr std::uint64_t lowBits = 0x0101010101010101U;
constexpr std::uint64_t highBits = 0x8080808080808080U;

constexpr qsizetype groupWords = groupBytes / 8;

// Whether any of the group's bytes needs more than widening: a byte above ASCII or a CR.
bool needsDecoding(const char *group)
{
    std::uint64_t special = 0;
    for (qsizetype at = 0; at < groupBytes; at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, group + at, sizeof word);
        // Exact as a whole, and cheaper on this hot path than marking each CR as marksOf does.
        const std::uint64_t carriageReturns = word ^ (lowBits * '\r');
        special |= word | ((carriageReturns - lowBits) & ~carriageReturns);
    }
    return (special & highBits) != 0;
}

// The bytes of word equal to byte, each marked by its high bit; exact for bytes below 0x80.
constexpr std::uint64_t marksOf(std::uint64_t word, unsigned char byte)
{
    const std::uint64_t matched = word ^ (lowBits * byte);
    return ~(((matched & ~highBits) + ~highBits) | matched) & highBits;
}

// A group of plain ASCII, with its CRs marked.
struct AsciiGroup
{
    std::array<std::uint64_t, groupWords> words{};
    std::array<std::uint64_t, groupWords> carriageReturns{};
    bool holdsCrLf = false;
};

// None when a byte of the group is above ASCII.
std::optional<AsciiGroup> asciiGroup(const char *bytes)
{
    AsciiGroup group;
    std::uint64_t high = 0;
    std::uint64_t returnBefore = 0; // the previous word's last byte's mark, moved to the first byte
    for (qsizetype at = 0; at < groupWords; ++at) {
        std::uint64_t &word = group.words.at(std::size_t(at));
        std::memcpy(&word, bytes + at * 8, sizeof word);
        high |= word;
        const std::uint64_t returns = marksOf(word, '\r');
        group.carriageReturns.at(std::size_t(at)) = returns;
        group.holdsCrLf = group.holdsCrLf || (((returns << 8) | returnBefore) & marksOf(word, '\n')) != 0;
        returnBefore = returns >> 56;
    }
    if ((high & highBits) != 0)
        return std::nullopt;
    return group;
}

// Widens the group with each CR made '\n', a word at a time.
void widen(const AsciiGroup &group, char16_t *out)
{
    std::array<unsigned char, groupBytes> bytes{};
    for (qsizetype at = 0; at < groupWords; ++at) {
        const std::uint64_t returns = group.carriageReturns.at(std::size_t(at));
        const std::uint64_t word = group.words.at(std::size_t(at)) ^ ((returns >> 7) * ('\r' ^ '\n'));
        std::memcpy(bytes.data() + at * 8, &word, sizeof word);
    }
    std::copy_n(bytes.begin(), groupBytes, out);
}

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

} // namespace

void OutputTextDecoder::put(char32_t code, char16_t *&out)
{
    afterCarriageReturn = false;
    if (code < 0x10000) {
        *out++ = static_cast<char16_t>(code);
    } else {
        *out++ = static_cast<char16_t>(0xD7C0 + (code >> 10));
        *out++ = static_cast<char16_t>(0xDC00 | (code & 0x3FF));
    }
}

void OutputTextDecoder::putAscii(unsigned char byte, char16_t *&out)
{
    if (byte == '\n' && afterCarriageReturn) {
        afterCarriageReturn = false;
        return;
    }
    *out++ = byte == '\r' ? u'\n' : byte;
    afterCarriageReturn = byte == '\r';
}

void OutputTextDecoder::startSequence(unsigned char byte, char16_t *&out)
{
    if (byte < 0x80) {
        putAscii(byte, out);
        return;
    }
    const auto *const lead = std::ranges::find_if(leadBytes, [byte](const LeadByte &candidate) {
        return byte >= candidate.first && byte <= candidate.last;
    });
    if (lead == leadBytes.end()) {
        put(replacementCharacter, out);
        return;
    }
    needed = lead->continuations;
    codePoint = byte & (0x7FU >> (needed + 1));
    lowest = lead->lowest;
    highest = lead->highest;
}

void OutputTextDecoder::decodeByte(unsigned char byte, char16_t *&out)
{
    if (needed == 0) {
        startSequence(byte, out);
    } else if (byte < lowest || byte > highest) {
        needed = 0;
        put(replacementCharacter, out);
        startSequence(byte, out);
    } else {
        codePoint = (codePoint << 6) | (byte & 0x3FU);
        lowest = 0x80;
        highest = 0xBF;
        if (--needed == 0)
            put(codePoint, out);
    }
}

const QString &OutputTextDecoder::decode(QByteArrayView bytes)
{
    // Never more UTF-16 units than bytes, plus one for a sequence ended early by the first byte.
    text.resize(bytes.size() + 1);
    auto *const begin = reinterpret_cast<char16_t *>(text.data()); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): QChar is one UTF-16 unit
    char16_t *out = begin;
    const char *in = bytes.data();
    const char *const end = in + bytes.size();
    while (in != end) {
        const bool wholeGroup = needed == 0 && end - in >= groupBytes;
        const bool endsCrLf = afterCarriageReturn && *in == '\n';
        // Renderer output is nearly always plain ASCII, which only needs widening.
        if (wholeGroup && !endsCrLf && !needsDecoding(in)) {
            std::copy_n(reinterpret_cast<const unsigned char *>(in), groupBytes, out); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): bytes read unsigned
            in += groupBytes;
            out += groupBytes;
            afterCarriageReturn = false;
            continue;
        }
        // Each progress line ends in a CR, which is made '\n' as the group is widened.
        if (const auto group = wholeGroup ? asciiGroup(in) : std::nullopt) {
            if (!group->holdsCrLf && !endsCrLf) {
                widen(*group, out);
                afterCarriageReturn = in[groupBytes - 1] == '\r';
                in += groupBytes;
                out += groupBytes;
                continue;
            }
            // A CR LF is one line end: its LF is dropped, without a branch a byte.
            for (const char *const stop = in + groupBytes; in != stop; ++in) {
                const auto byte = static_cast<unsigned char>(*in);
                *out = byte == '\r' ? u'\n' : byte;
                out += byte == '\n' && afterCarriageReturn ? 0 : 1;
                afterCarriageReturn = byte == '\r';
            }
            continue;
        }
        for (const char *const stop = std::min(end, in + groupBytes); in != stop;)
            decodeByte(static_cast<unsigned char>(*in++), out);
    }
    text.truncate(out - begin);
    return text;
}

QString OutputTextDecoder::flush()
{
    afterCarriageReturn = false;
    if (needed == 0)
        return {};
    needed = 0;
    return {QChar(replacementCharacter)};
}
