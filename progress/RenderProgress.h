#pragma once

#include "progress/RenderOutcome.h"

#include <QStringView>

#include <array>
#include <chrono>
#include <optional>

// Follows one render from POV-Ray's output as it arrives: its phase, how far the phase got, and
// how the render ended. Chunks may split anywhere; lines end in '\r' or '\n'. Only the start of
// each line is kept, so memory stays bounded whatever the output. Time comes in as values on a
// steady clock the caller chooses; nothing here reads a clock or starts a timer.
class RenderProgress
{
public:
    using Milliseconds = std::chrono::milliseconds;

    enum class Phase {
        Idle, // no render has run yet
        Starting, // running, with no progress understood so far
        Parsing,
        Photons,
        RadiosityPretrace,
        Rendering,
        WaitingForPreview, // done and paused: the renderer waits for its preview to be closed
        Ended,
    };

    // What a piece of output or an event changed, so that a viewer redraws only then.
    struct Changes
    {
        bool shown = false; // the phase, its percentage or its count
        bool outcomeShown = false; // the outcome became known for the first time
    };

    void start(Milliseconds now);
    Changes feed(QStringView output, Milliseconds now);
    // The user stopped the render; its output may still follow.
    void noteStopped();
    void noteLaunchFailed();
    // The output has ended and the render is over.
    Changes finish(Milliseconds now);

    [[nodiscard]] Phase phase() const noexcept { return currentPhase; }
    // Of the pretrace or the render; none before their first figure and in other phases.
    [[nodiscard]] std::optional<int> percent() const noexcept;
    [[nodiscard]] std::optional<double> renderedFraction() const noexcept;
    // Thousands of tokens parsed, or photons shot, in those phases.
    [[nodiscard]] qint64 count() const noexcept { return currentCount; }
    // Where the last pretrace or render figure stood when the render ended.
    [[nodiscard]] std::optional<int> lastPercent() const noexcept;
    // As far as known so far; final once the render ended.
    [[nodiscard]] RenderOutcome outcome() const noexcept;
    [[nodiscard]] bool hasOutcomeShown() const noexcept { return outcomeShownYet; }
    [[nodiscard]] Milliseconds elapsed(Milliseconds now) const noexcept;
    // From the pace of the current pass, once it has run long enough to tell.
    [[nodiscard]] std::optional<Milliseconds> timeLeft(Milliseconds now) const noexcept;

    // Longer than any line it understands, so that a line's head holds all it needs.
    static constexpr qsizetype keptLineLength = 96;

private:
    struct Pass
    {
        qint64 done = 0;
        qint64 total = 0;
        qint64 firstDone = 0;
        Milliseconds firstSeen{};
        Milliseconds lastSeen{};
    };

    void readLine(QStringView text, Milliseconds now, Changes &changes);
    void readFigure(Milliseconds now, Changes &changes);
    void enterPhase(Phase phase, Changes &changes);
    void showOutcome(Changes &changes);
    void passFigure(Phase phase, qint64 done, qint64 total, Milliseconds now, Changes &changes);

    Phase currentPhase = Phase::Idle;
    std::array<char16_t, keptLineLength> line{};
    qsizetype lineLength = 0;
    Milliseconds started{};
    Milliseconds ended{};
    std::optional<Pass> pass;
    struct PendingFigure
    {
        QStringView rest; // of its line, within the output being read
        Phase phase;
    };
    std::optional<PendingFigure> pendingFigure;
    qint64 currentCount = 0;
    bool failed = false;
    bool reachedEnd = false;
    bool stopped = false;
    bool outcomeShownYet = false;
};
