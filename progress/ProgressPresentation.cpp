#include "progress/ProgressPresentation.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ProgressPresentation", text);
}

QString whenEnded(const RenderProgress &progress, const QString &time)
{
    switch (progress.outcome()) {
    case RenderOutcome::Finished:
        return tr("Finished in %1").arg(time);
    case RenderOutcome::Failed:
        return tr("Failed after %1").arg(time);
    case RenderOutcome::Stopped:
        if (const auto percent = progress.lastPercent())
            return tr("Stopped at %1% after %2").arg(*percent).arg(time);
        return tr("Stopped after %1").arg(time);
    case RenderOutcome::Ended:
        break;
    }
    return tr("Ended after %1").arg(time);
}

} // namespace

ProgressPresentation ProgressPresentation::of(const RenderProgress &progress, RenderProgress::Milliseconds now)
{
    using Phase = RenderProgress::Phase;
    ProgressPresentation shown;
    shown.windowTitle = QStringLiteral("Kilnlight");
    const Phase phase = progress.phase();
    if (phase == Phase::Idle)
        return shown;
    shown.visible = true;
    const QString elapsed = duration(progress.elapsed(now));
    const auto percent = progress.percent();
    shown.maximum = percent ? percentMaximum : busy;
    shown.value = percent.value_or(0);
    switch (phase) {
    case Phase::Idle:
    case Phase::Starting:
        shown.text = tr("Running · %1 elapsed").arg(elapsed);
        break;
    case Phase::Parsing:
        shown.text = progress.count() > 0 ? tr("Parsing · %1K tokens · %2 elapsed").arg(progress.count()).arg(elapsed)
                                          : tr("Parsing · %1 elapsed").arg(elapsed);
        break;
    case Phase::Photons:
        shown.text = tr("Shooting photons · %1 · %2 elapsed").arg(progress.count()).arg(elapsed);
        break;
    case Phase::RadiosityPretrace:
        shown.text = tr("Radiosity pretrace %1% · %2 elapsed").arg(shown.value).arg(elapsed);
        break;
    case Phase::Rendering:
        if (!percent) {
            shown.text = tr("Rendering · %1 elapsed").arg(elapsed);
            break;
        }
        shown.windowTitle = tr("%1% – Kilnlight").arg(*percent);
        shown.text = tr("Rendering %1% · %2 elapsed").arg(*percent).arg(elapsed);
        if (const auto left = progress.timeLeft(now))
            shown.text += tr(" · about %1 left").arg(duration(*left));
        break;
    case Phase::WaitingForPreview:
        shown.maximum = percentMaximum;
        shown.value = percentMaximum;
        shown.text = tr("Done · waiting for the preview to be closed");
        break;
    case Phase::Ended:
        shown.maximum = percentMaximum;
        shown.value = progress.outcome() == RenderOutcome::Finished ? percentMaximum : progress.lastPercent().value_or(0);
        shown.text = whenEnded(progress, elapsed);
        break;
    }
    return shown;
}

QString ProgressPresentation::duration(RenderProgress::Milliseconds time)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time).count();
    const auto hours = seconds / 3600;
    const QString minutesAndSeconds = QStringLiteral("%1:%2").arg(seconds / 60 % 60, hours > 0 ? 2 : 1, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QStringLiteral("%1:%2").arg(hours).arg(minutesAndSeconds) : minutesAndSeconds;
}
