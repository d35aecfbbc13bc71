#include "platform/progress/ProgressIndicator.h"

#include <QAbstractAnimation>
#include <QLabel>
#include <QProgressBar>

namespace {

// Qt's own styles stop a busy bar's animation only when they paint progress beyond the minimum.
// A bar that leaves the busy state at 0%, as after a failed parse or a stop while parsing, would
// otherwise repaint sixty times a second until the next render. Deleting the animation also
// takes it out of the style's books, so the next busy state starts a new one.
void endBusyAnimation(const QProgressBar &bar)
{
    for (QAbstractAnimation *animation : bar.findChildren<QAbstractAnimation *>(Qt::FindDirectChildrenOnly)) {
        if (qstrcmp(animation->metaObject()->className(), "QProgressStyleAnimation") == 0)
            delete animation;
    }
}

} // namespace

ProgressIndicator::ProgressIndicator(QProgressBar *bar, QLabel *label, QWidget *window, QObject *parent)
    : QObject(parent)
    , bar(bar)
    , label(label)
    , window(window)
{
    clock.start();
    ticker.setInterval(1000);
    ticker.setTimerType(Qt::PreciseTimer);
    connect(&ticker, &QTimer::timeout, this, &ProgressIndicator::refresh);
    // QProgressBar paints at once on every new value: a flood's changes are shown once per pass
    // of the main loop instead.
    pendingRefresh.setSingleShot(true);
    pendingRefresh.setInterval(0);
    connect(&pendingRefresh, &QTimer::timeout, this, &ProgressIndicator::refresh);
    bar->setVisible(shown.visible);
    label->setVisible(shown.visible);
}

void ProgressIndicator::started()
{
    renderProgress.start(now());
    sentFraction.reset();
    ticker.start();
    refresh();
}

void ProgressIndicator::output(QStringView text)
{
    show(renderProgress.feed(text, now()));
}

void ProgressIndicator::stoppedByUser()
{
    renderProgress.noteStopped();
}

void ProgressIndicator::launchFailed()
{
    renderProgress.noteLaunchFailed();
}

void ProgressIndicator::finished()
{
    ticker.stop();
    const RenderProgress::Changes changes = renderProgress.finish(now());
    if (!changes.outcomeShown)
        refresh();
    show(changes);
}

RenderProgress::Milliseconds ProgressIndicator::now() const
{
    return RenderProgress::Milliseconds(clock.elapsed());
}

// The outcome shows once a render: the desktop hears of it after the window shows it.
void ProgressIndicator::show(RenderProgress::Changes changes)
{
    if (changes.outcomeShown) {
        refresh();
        emit outcomeShown(renderProgress.outcome());
    } else if (changes.shown && !pendingRefresh.isActive()) {
        pendingRefresh.start();
    }
}

void ProgressIndicator::refresh()
{
    pendingRefresh.stop();
    const ProgressPresentation next = ProgressPresentation::of(renderProgress, now());
    if (next.maximum != shown.maximum) {
        bar->setMaximum(next.maximum);
        if (shown.maximum == ProgressPresentation::busy)
            endBusyAnimation(*bar);
    }
    if (next.value != shown.value)
        bar->setValue(next.value);
    if (next.text != shown.text) {
        label->setText(next.text);
        bar->setAccessibleDescription(next.text);
    }
    if (next.visible != shown.visible) {
        bar->setVisible(next.visible);
        label->setVisible(next.visible);
    }
    if (next.windowTitle != shown.windowTitle)
        window->setWindowTitle(next.windowTitle);
    shown = next;

    const auto percent = renderProgress.phase() == RenderProgress::Phase::Rendering ? renderProgress.percent() : std::nullopt;
    const std::optional<double> fraction = percent ? std::optional(*percent / 100.0) : std::nullopt;
    if (fraction != sentFraction) {
        sentFraction = fraction;
        emit renderedFractionChanged(fraction);
    }
}
