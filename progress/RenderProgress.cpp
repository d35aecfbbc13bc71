#include "progress/RenderProgress.h"

#include <QLatin1StringView>

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

using namespace Qt::StringLiterals;

enum class Form {
    ParsingBanner,
    RenderingBanner,
    PausedBanner,
    Tokens, // Parsing 12K tokens
    Photons, // Photon count 1234
    Pretrace, // Performing radiosity pretrace: 512 of 4800 pixels (10%)
    Rendered, // Rendered 17408 of 76800 pixels (22%)
    ParserFailure,
    RenderFailed,
    Finished,
};

struct Pattern
{
    QLatin1StringView start; // of a line
    Form form{};
};

// Every line POV-Ray 3.7 writes that tells where a render stands or how it ended, the most
// frequent first.
constexpr std::array patterns{
    Pattern{"Rendered "_L1, Form::Rendered},
    Pattern{"Parsing "_L1, Form::Tokens},
    Pattern{"Photon count "_L1, Form::Photons},
    Pattern{"Performing radiosity pretrace: "_L1, Form::Pretrace},
    Pattern{"==== [Parsing...]"_L1, Form::ParsingBanner},
    Pattern{"==== [Rendering...]"_L1, Form::RenderingBanner},
    Pattern{"==== [Paused]"_L1, Form::PausedBanner},
    Pattern{"Fatal error in parser"_L1, Form::ParserFailure},
    Pattern{"Render failed"_L1, Form::RenderFailed},
    Pattern{"POV-Ray finished"_L1, Form::Finished},
};

// Most lines of a flood start with none of the patterns' first characters.
constexpr auto patternStarts = [] {
    std::array<bool, 128> starts{};
    for (const Pattern &pattern : patterns)
        starts.at(static_cast<uchar>(pattern.start.front().toLatin1())) = true;
    return starts;
}();

bool mayStartPattern(QStringView line)
{
    return !line.isEmpty() && line.front().unicode() < patternStarts.size() && patternStarts.at(line.front().unicode());
}

// Reads a decimal number at the front of text and drops it; none when there is none or it is absurd.
std::optional<qint64> takeNumber(QStringView &text)
{
    qsizetype digits = 0;
    qint64 value = 0;
    const auto isDigit = [&](qsizetype at) { return at < text.size() && text[at] >= u'0' && text[at] <= u'9'; };
    for (; digits < 15 && isDigit(digits); ++digits)
        value = value * 10 + (text[digits].unicode() - u'0');
    if (digits == 0 || isDigit(digits))
        return std::nullopt;
    text = text.sliced(digits);
    return value;
}

// Inline, unlike QStringView::startsWith: it runs on every line of a flood.
bool startsWith(QStringView text, QLatin1StringView start)
{
    if (text.size() < start.size())
        return false;
    for (qsizetype i = 0; i < start.size(); ++i) {
        if (text[i].unicode() != static_cast<uchar>(start[i].toLatin1()))
            return false;
    }
    return true;
}

bool takeText(QStringView &text, QLatin1StringView expected)
{
    if (!startsWith(text, expected))
        return false;
    text = text.sliced(expected.size());
    return true;
}

struct Figure
{
    qint64 done = 0;
    qint64 total = 0;
};

// "A of B pixels", as the pretrace and the render write it.
std::optional<Figure> takeFigure(QStringView text)
{
    const auto done = takeNumber(text);
    if (!done || !takeText(text, " of "_L1))
        return std::nullopt;
    const auto total = takeNumber(text);
    if (!total || *total == 0 || *done > *total || !takeText(text, " pixels"_L1))
        return std::nullopt;
    return Figure{*done, *total};
}

constexpr bool hasPass(RenderProgress::Phase phase)
{
    return phase == RenderProgress::Phase::RadiosityPretrace || phase == RenderProgress::Phase::Rendering;
}

} // namespace

void RenderProgress::start(Milliseconds now)
{
    *this = RenderProgress();
    currentPhase = Phase::Starting;
    started = now;
}

namespace {

// Finds the next line end of either kind. Each stretch of a read is searched for each kind at most
// once however many lines it holds, and a carriage return only as far as the next newline: the
// decoded output holds none, and searching every read to its end for one made a second pass over it.
class LineEnds
{
public:
    explicit LineEnds(QStringView text)
        : text(text)
    {
    }

    qsizetype from(qsizetype position)
    {
        if (nextNewline < position)
            nextNewline = find(u'\n', position, text.size());
        // Stands at the newline when no carriage return comes before it.
        if (nextReturn < position)
            nextReturn = find(u'\r', position, nextNewline);
        return std::min(nextNewline, nextReturn);
    }

private:
    // Where lineEnd first is in [position, end); end when it is not there.
    [[nodiscard]] qsizetype find(char16_t lineEnd, qsizetype position, qsizetype end) const
    {
        const qsizetype found = text.first(end).indexOf(QChar(lineEnd), position);
        return found < 0 ? end : found;
    }

    QStringView text;
    qsizetype nextNewline = -1;
    qsizetype nextReturn = -1;
};

constexpr bool isLineEnd(char16_t unit)
{
    return unit == u'\n' || unit == u'\r';
}

// The characters that may start a line worth reading in any phase, '-' standing for "POV-Ray
// finished", and the carriage return that ends a progress line the renderer writes: lines of
// #debug text and statistics seldom hold them. Parsing and rendering add 'P', which starts the
// token count, the photon count and the pretrace.
constexpr std::array<char16_t, 5> landmarks{u'\r', u'=', u'F', u'R', u'-'};
constexpr char16_t progressLandmark = u'P';
constexpr qsizetype finishedLandmarkOffset = 3; // of the '-' in "POV-Ray finished"

bool isLandmark(char16_t unit, bool progressExpected)
{
    return std::ranges::find(landmarks, unit) != landmarks.end() || (progressExpected && unit == progressLandmark);
}

#if defined(__SSE2__)
// The landmarks among 32 characters, one bit each. Packed to bytes, as no landmark lies beyond
// ASCII, and with '\r', '-' and '=' caught together by their shared low bits, a block costs a
// few comparisons; the rare stranger caught with them (0x1D) is weeded out by the caller.
quint32 landmarkCandidates(const char16_t *units, bool progressExpected)
{
    const auto load = [units](qsizetype at) {
        __m128i eight{};
        std::memcpy(&eight, units + at, sizeof eight); // an unaligned load
        return eight;
    };
    const __m128i lowEndings = _mm_set1_epi8(0x30);
    const __m128i endings = _mm_set1_epi8(0x3D); // '=', and '\r' or '-' with 0x30 set
    const __m128i failure = _mm_set1_epi8('F');
    // 'P' differs from 'R' in one bit, which is ignored when progress lines are expected.
    const __m128i progressBit = _mm_set1_epi8(progressExpected ? 0x02 : 0x00);
    const __m128i rendered = _mm_set1_epi8('R');
    const auto found = [&](__m128i bytes) {
        const __m128i ending = _mm_cmpeq_epi8(_mm_or_si128(bytes, lowEndings), endings);
        const __m128i letter = _mm_or_si128(_mm_cmpeq_epi8(bytes, failure), _mm_cmpeq_epi8(_mm_or_si128(bytes, progressBit), rendered));
        return static_cast<quint32>(_mm_movemask_epi8(_mm_or_si128(ending, letter)));
    };
    // Saturation packs every unit beyond Latin-1 to 0 or 255, neither of them a landmark.
    return found(_mm_packus_epi16(load(0), load(8))) | found(_mm_packus_epi16(load(16), load(24))) << 16;
}

// The same with AVX2, 32 characters in one register.
__attribute__((target("avx2"))) quint32 landmarkCandidatesAvx2(const char16_t *units, bool progressExpected)
{
    __m256i low{};
    __m256i high{};
    std::memcpy(&low, units, sizeof low); // unaligned loads
    std::memcpy(&high, units + 16, sizeof high);
    // Packing works within each half of the register; the permutation puts the bytes in order.
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
    const __m256i ending = _mm256_cmpeq_epi8(_mm256_or_si256(bytes, _mm256_set1_epi8(0x30)), _mm256_set1_epi8(0x3D));
    const __m256i progressBit = _mm256_set1_epi8(progressExpected ? 0x02 : 0x00);
    const __m256i letter = _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('F')),
                                           _mm256_cmpeq_epi8(_mm256_or_si256(bytes, progressBit), _mm256_set1_epi8('R')));
    return static_cast<quint32>(_mm256_movemask_epi8(_mm256_or_si256(ending, letter)));
}

struct CandidateBlock
{
    qsizetype start = 0;
    quint32 candidates = 0; // none when no whole block from the start on has any
};

// The first whole block of 32 from at on that holds a candidate; without one, where the last
// whole block ends. One call passes over a stretch without landmarks, so that the choice of
// instructions costs a call per landmark, not per block.
CandidateBlock nextCandidateBlock(const char16_t *units, qsizetype at, qsizetype size, bool progressExpected)
{
    for (; at + 32 <= size; at += 32) {
        if (const quint32 candidates = landmarkCandidates(units + at, progressExpected); candidates != 0)
            return {at, candidates};
    }
    return {at, 0};
}

// Where 32 packed characters hold a landmark, in no particular order. Each byte is looked up by
// its low and by its high four bits: only a landmark's two entries share a bit, one bit for each
// of '\r', '-', '=', 'F', 'R' and 'P'; a byte beyond ASCII finds no low entry.
__attribute__((target("avx2"))) __m256i unorderedLandmarksAvx2(__m256i bytes, __m256i progressEntry)
{
    const __m256i byLow = _mm256_or_si256(_mm256_setr_epi8(0, 0, 0x10, 0, 0, 0, 0x08, 0, 0, 0, 0, 0, 0, 0x07, 0, 0,
                                                           0, 0, 0x10, 0, 0, 0, 0x08, 0, 0, 0, 0, 0, 0, 0x07, 0, 0),
                                          progressEntry);
    const __m256i byHigh = _mm256_setr_epi8(0x01, 0, 0x02, 0x04, 0x08, 0x30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                            0x01, 0, 0x02, 0x04, 0x08, 0x30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i high = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), _mm256_set1_epi8(0x0F));
    return _mm256_and_si256(_mm256_shuffle_epi8(byLow, bytes), _mm256_shuffle_epi8(byHigh, high));
}

// Whether 64 characters hold a landmark: a stretch without any is passed over two blocks at a
// time, neither put in order.
__attribute__((target("avx2"))) bool hasLandmarksAvx2(const char16_t *units, __m256i progressEntry)
{
    __m256i first{};
    __m256i second{};
    __m256i third{};
    __m256i fourth{};
    std::memcpy(&first, units, sizeof first); // unaligned loads
    std::memcpy(&second, units + 16, sizeof second);
    std::memcpy(&third, units + 32, sizeof third);
    std::memcpy(&fourth, units + 48, sizeof fourth);
    const __m256i either = _mm256_or_si256(unorderedLandmarksAvx2(_mm256_packus_epi16(first, second), progressEntry),
                                           unorderedLandmarksAvx2(_mm256_packus_epi16(third, fourth), progressEntry));
    return _mm256_testz_si256(either, either) == 0;
}

// Passes over a stretch without landmarks from at on, 64 characters at a time, and returns where
// it stopped: the next landmark, or the end of the text, lies within 64 characters from there.
// Out of line, so that its constants are set up once a stretch, not once a landmark.
__attribute__((target("avx2"), noinline)) qsizetype endOfStretchAvx2(const char16_t *units, qsizetype at, qsizetype size, bool progressExpected)
{
    // 'P' counts only while progress lines are expected: its entry, for the low bits 0, in each half.
    const char progressBit = progressExpected ? 0x20 : 0x00;
    const __m256i progressEntry = _mm256_setr_epi8(progressBit, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                   progressBit, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    while (at + 64 <= size && !hasLandmarksAvx2(units + at, progressEntry))
        at += 64;
    return at;
}

__attribute__((target("avx2"))) CandidateBlock nextCandidateBlockAvx2(const char16_t *units, qsizetype at, qsizetype size, bool progressExpected)
{
    // Two blocks in a row without a landmark start a stretch without any, as in a flood of log
    // lines; the blocks of 32 after it put the landmark that ends it in order. Where landmarks lie
    // close together, as in a flood of progress lines, the stretch would mostly end at once.
    for (int emptyBlocks = 0; at + 32 <= size; at += 32) {
        if (const quint32 candidates = landmarkCandidatesAvx2(units + at, progressExpected); candidates != 0)
            return {at, candidates};
        if (++emptyBlocks == 2) {
            at = endOfStretchAvx2(units, at + 32, size, progressExpected) - 32;
            emptyBlocks = 0;
        }
    }
    return {at, 0};
}
#endif

// Most of a flood holds no landmark: it is passed over 32 characters at a time where the
// processor has SSE2, as every x86-64 one has, and 64 at a time where it has AVX2. The last block's
// candidates are kept, so that landmarks close together, as in a flood of progress lines, cost
// one look at their block.
class Landmarks
{
public:
    explicit Landmarks(QStringView text)
        : text(text)
    {
    }

    qsizetype from(qsizetype position, bool progressExpected)
    {
        const char16_t *const units = text.utf16();
        qsizetype at = position;
#if defined(__SSE2__)
        if (blockStart >= 0 && blockExpected == progressExpected && at >= blockStart && at < blockStart + block) {
            if (const qsizetype found = firstIn(blockCandidates & (~quint32{0} << (at - blockStart)), progressExpected); found >= 0)
                return found;
            at = blockStart + block;
        }
        for (; at + block <= text.size(); at += block) {
            const CandidateBlock next = avx2 ? nextCandidateBlockAvx2(units, at, text.size(), progressExpected)
                                             : nextCandidateBlock(units, at, text.size(), progressExpected);
            at = next.start;
            if (next.candidates == 0)
                break;
            blockStart = at;
            blockCandidates = next.candidates;
            blockExpected = progressExpected;
            if (const qsizetype found = firstIn(blockCandidates, progressExpected); found >= 0)
                return found;
        }
#endif
        while (at < text.size() && !isLandmark(units[at], progressExpected))
            ++at;
        return at;
    }

private:
#if defined(__SSE2__)
    static constexpr qsizetype block = 32;

    [[nodiscard]] qsizetype firstIn(quint32 candidates, bool progressExpected) const
    {
        for (; candidates != 0; candidates &= candidates - 1) {
            const qsizetype candidate = blockStart + std::countr_zero(candidates);
            if (isLandmark(text[candidate].unicode(), progressExpected))
                return candidate;
        }
        return -1;
    }

    qsizetype blockStart = -1;
    quint32 blockCandidates = 0;
    bool blockExpected = false;
    bool avx2 = __builtin_cpu_supports("avx2");
#endif
    QStringView text;
};

// The start of the line that ends at end, not before from.
qsizetype lineStart(QStringView text, qsizetype from, qsizetype end)
{
    while (end > from && !isLineEnd(text[end - 1].unicode()))
        --end;
    return end;
}

} // namespace

// Not every line is looked at: only the lines that start with a landmark, and of the progress
// lines, each superseding the one before, only the last before another line worth reading.
RenderProgress::Changes RenderProgress::feed(QStringView output, Milliseconds now)
{
    Changes changes;
    LineEnds lineEnds(output);
    qsizetype position = 0;
    if (lineLength > 0) {
        const qsizetype end = lineEnds.from(0);
        const QStringView head = output.first(std::min(end, keptLineLength - lineLength));
        std::copy_n(head.utf16(), head.size(), line.begin() + lineLength);
        lineLength += head.size();
        if (end == output.size())
            return changes;
        readLine(QStringView(line.data(), lineLength), now, changes);
        readFigure(now, changes);
        lineLength = 0;
        position = end + 1;
    }
    const qsizetype linesStart = position;
    qsizetype lastReturn = -1; // ends the last line not read yet that may be a progress line
    const auto readLastProgressLine = [&] {
        if (lastReturn < 0)
            return;
        const qsizetype start = lineStart(output, linesStart, lastReturn);
        readLine(output.sliced(start, std::min(lastReturn - start, keptLineLength)), now, changes);
        lastReturn = -1;
    };
    // While rendering, each "Rendered" line supersedes the one before and lines that start with no
    // landmark change nothing: of a run of them only the last is read, or the one before it when
    // the last is unended, which spares finding each one's end.
    qsizetype lastRendered = -1;
    qsizetype endedRendered = -1; // ended, as lastRendered starts after it
    const auto readRendered = [&] {
        if (lastRendered < 0)
            return;
        if (const qsizetype end = lineEnds.from(lastRendered); end < output.size()) {
            readLine(output.sliced(lastRendered, std::min(end - lastRendered, keptLineLength)), now, changes);
            if (lastReturn == end)
                lastReturn = -1;
        } else if (endedRendered >= 0) {
            const QStringView head = output.sliced(endedRendered, std::min(output.size() - endedRendered, keptLineLength));
            readLine(head.first(std::ranges::find_if(head, [](QChar unit) { return isLineEnd(unit.unicode()); }) - head.begin()), now, changes);
        }
        lastRendered = -1;
        endedRendered = -1;
    };
    const auto progressExpected = [this] { return currentPhase != Phase::Starting && currentPhase != Phase::WaitingForPreview; };
    Landmarks landmarks(output);
    for (qsizetype landmark = landmarks.from(position, progressExpected()); landmark < output.size();
         landmark = landmarks.from(landmark + 1, progressExpected())) {
        if (output[landmark] == u'\r') {
            lastReturn = landmark;
            continue;
        }
        const qsizetype start = output[landmark] == u'-' ? landmark - finishedLandmarkOffset : landmark;
        if (start < linesStart || (start > linesStart && !isLineEnd(output[start - 1].unicode())))
            continue;
        if (currentPhase == Phase::Rendering && startsWith(output.sliced(start), "Rendered "_L1)) {
            endedRendered = lastRendered;
            lastRendered = start;
            lastReturn = -1;
            continue;
        }
        readRendered();
        const qsizetype end = lineEnds.from(landmark);
        if (end == output.size())
            break;
        if (lastReturn < start)
            readLastProgressLine();
        readLine(output.sliced(start, std::min(end - start, keptLineLength)), now, changes);
        lastReturn = -1;
        landmark = end;
    }
    readRendered();
    readLastProgressLine();
    readFigure(now, changes);
    const qsizetype unended = lineStart(output, linesStart, output.size());
    lineLength = std::min(output.size() - unended, keptLineLength);
    std::copy_n(output.utf16() + unended, lineLength, line.begin());
    return changes;
}

void RenderProgress::noteStopped()
{
    stopped = true;
}

void RenderProgress::noteLaunchFailed()
{
    failed = true;
}

RenderProgress::Changes RenderProgress::finish(Milliseconds now)
{
    Changes changes;
    readLine(QStringView(line.data(), lineLength), now, changes);
    readFigure(now, changes);
    lineLength = 0;
    if (currentPhase != Phase::WaitingForPreview)
        ended = now;
    enterPhase(Phase::Ended, changes);
    showOutcome(changes);
    return changes;
}

void RenderProgress::readLine(QStringView text, Milliseconds now, Changes &changes)
{
    if (!mayStartPattern(text))
        return;
    const auto *const pattern = std::ranges::find_if(patterns, [&](const Pattern &candidate) { return startsWith(text, candidate.start); });
    if (pattern == patterns.end())
        return;
    QStringView rest = text.sliced(pattern->start.size());
    if (pattern->form == Form::Pretrace || pattern->form == Form::Rendered) {
        pendingFigure = {rest, pattern->form == Form::Pretrace ? Phase::RadiosityPretrace : Phase::Rendering};
        return;
    }
    readFigure(now, changes);
    switch (pattern->form) {
    case Form::ParsingBanner:
        return enterPhase(Phase::Parsing, changes);
    case Form::RenderingBanner:
        // Photons and the pretrace report after this banner, so the render's figures wait for their lines.
        pass.reset();
        return enterPhase(Phase::Rendering, changes);
    case Form::PausedBanner:
        // Its time is the render's: what follows is the user's, looking at the preview.
        ended = now;
        reachedEnd = true;
        enterPhase(Phase::WaitingForPreview, changes);
        return showOutcome(changes);
    case Form::Tokens:
    case Form::Photons:
        if (const auto number = takeNumber(rest); number && (pattern->form == Form::Photons || startsWith(rest, "K tokens"_L1))) {
            enterPhase(pattern->form == Form::Photons ? Phase::Photons : Phase::Parsing, changes);
            changes.shown = changes.shown || currentCount != *number;
            currentCount = *number;
        }
        return;
    case Form::Pretrace:
    case Form::Rendered:
        return;
    case Form::ParserFailure:
        failed = true;
        return;
    case Form::RenderFailed:
        failed = true;
        return showOutcome(changes);
    case Form::Finished:
        reachedEnd = true;
        return;
    }
}

// A flood holds thousands of figures a read, each superseding the one before: only the last one
// before another kind of line, or at the end of the read, is worth reading.
void RenderProgress::readFigure(Milliseconds now, Changes &changes)
{
    if (!pendingFigure)
        return;
    if (const auto figure = takeFigure(pendingFigure->rest))
        passFigure(pendingFigure->phase, figure->done, figure->total, now, changes);
    pendingFigure.reset();
}

void RenderProgress::enterPhase(Phase phase, Changes &changes)
{
    if (phase == currentPhase)
        return;
    currentPhase = phase;
    currentCount = 0;
    changes.shown = true;
}

void RenderProgress::showOutcome(Changes &changes)
{
    changes.outcomeShown = !outcomeShownYet;
    outcomeShownYet = true;
}

// Threads report out of order, so a figure a little behind the last is noise; one far behind
// starts a new pass, as each radiosity pretrace pass and then the render itself do.
void RenderProgress::passFigure(Phase phase, qint64 done, qint64 total, Milliseconds now, Changes &changes)
{
    const std::optional<int> before = percent();
    if (phase != currentPhase)
        pass.reset();
    enterPhase(phase, changes);
    if (pass && pass->total == total && done + total / 4 >= pass->done) {
        pass->done = std::max(pass->done, done);
        pass->lastSeen = now;
    } else {
        pass = Pass{.done = done, .total = total, .firstDone = done, .firstSeen = now, .lastSeen = now};
    }
    changes.shown = changes.shown || percent() != before;
}

std::optional<int> RenderProgress::percent() const noexcept
{
    return hasPass(currentPhase) ? lastPercent() : std::nullopt;
}

std::optional<int> RenderProgress::lastPercent() const noexcept
{
    if (!pass)
        return std::nullopt;
    return static_cast<int>(pass->done * 100 / pass->total);
}

std::optional<double> RenderProgress::renderedFraction() const noexcept
{
    if (currentPhase != Phase::Rendering || !pass)
        return std::nullopt;
    return static_cast<double>(pass->done) / static_cast<double>(pass->total);
}

RenderOutcome RenderProgress::outcome() const noexcept
{
    if (failed)
        return RenderOutcome::Failed;
    if (reachedEnd)
        return RenderOutcome::Finished;
    return stopped ? RenderOutcome::Stopped : RenderOutcome::Ended;
}

RenderProgress::Milliseconds RenderProgress::elapsed(Milliseconds now) const noexcept
{
    if (currentPhase == Phase::Idle)
        return {};
    return std::max(Milliseconds{}, (currentPhase == Phase::Ended ? ended : now) - started);
}

std::optional<RenderProgress::Milliseconds> RenderProgress::timeLeft(Milliseconds now) const noexcept
{
    constexpr Milliseconds enoughToTell{2000};
    if (!percent() || pass->lastSeen - pass->firstSeen < enoughToTell || pass->done <= pass->firstDone)
        return std::nullopt;
    const auto spent = static_cast<double>((pass->lastSeen - pass->firstSeen).count());
    const double perPixel = spent / static_cast<double>(pass->done - pass->firstDone);
    const auto left = Milliseconds(static_cast<qint64>(perPixel * static_cast<double>(pass->total - pass->done))) - (now - pass->lastSeen);
    return std::max(left, Milliseconds{});
}
