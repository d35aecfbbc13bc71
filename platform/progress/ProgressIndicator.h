#pragma once

#include "progress/ProgressPresentation.h"
#include "progress/RenderProgress.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <optional>

class QLabel;
class QProgressBar;
class QWidget;

// Shows a render's progress, read from its output, in a progress bar and a label beside it and in
// the window's title, and tells the desktop how far the render got and when its outcome shows.
// Each control changes only when what it shows changes; the elapsed time moves once a second.
class ProgressIndicator : public QObject
{
    Q_OBJECT

public:
    // The controls belong to the window and must outlive this.
    ProgressIndicator(QProgressBar *bar, QLabel *label, QWidget *window, QObject *parent = nullptr);

    void started();
    void output(QStringView text);
    void stoppedByUser();
    void launchFailed();
    void finished();

    [[nodiscard]] const RenderProgress &progress() const noexcept { return renderProgress; }

signals:
    // How much of the image is rendered, once per percent; none once it paused or ended.
    void renderedFractionChanged(std::optional<double> fraction);
    // The render's outcome became known: at the pause, at a failure or at the end of its output.
    void outcomeShown(RenderOutcome outcome);

private:
    [[nodiscard]] RenderProgress::Milliseconds now() const;
    void show(RenderProgress::Changes changes);
    void refresh();

    QProgressBar *bar;
    QLabel *label;
    QWidget *window;
    QElapsedTimer clock;
    QTimer ticker;
    QTimer pendingRefresh;
    RenderProgress renderProgress;
    ProgressPresentation shown;
    std::optional<double> sentFraction;
};
