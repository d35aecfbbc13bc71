#include "KilnlightController.h"

#include "MossworkPreferences.h"
#include "platform/log/LogSaver.h"
#include "platform/log/LogView.h"
#include "platform/progress/ProgressIndicator.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>

#include <new>
#include <utility>

namespace {

struct PathParts
{
    QString directory;
    QString name;
};

// Splits at the last path component as Cocoa does: "/a/b/" gives "/a" and "b", "/a" gives "/" and
// "a", a bare name gives no directory.
PathParts splitLastPathComponent(QStringView path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return {QString(), path.toString()};
    return {slash == 0 ? QStringLiteral("/") : path.first(slash).toString(), path.sliced(slash + 1).toString()};
}

} // namespace

QString KilnlightController::defaultRendererPath()
{
    return QStringLiteral(KILNLIGHT_RENDERER_PATH);
}

KilnlightController::KilnlightController(QString rendererPath, QObject *parent)
    : QObject(parent)
    , rendererPath(std::move(rendererPath))
{
}

KilnlightController::~KilnlightController()
{
    if (progress && renderTask)
        progress->stoppedByUser();
    stopRenderProcess();
    povFile.reset();
}

void KilnlightController::connectOutlets(const Outlets &controls)
{
    outlets = controls;
    progress = controls.progressBar ? std::make_unique<ProgressIndicator>(controls.progressBar, controls.progressLabel, controls.window) : nullptr;
    if (!progress)
        return;
    connect(progress.get(), &ProgressIndicator::renderedFractionChanged, this, [this](std::optional<double> fraction) {
        if (fraction)
            taskbar.setProgress(*fraction);
        else
            taskbar.clear();
    });
    connect(progress.get(), &ProgressIndicator::outcomeShown, this, [this](RenderOutcome outcome) {
        notice.renderEnded(outlets.window, QFile::decodeName(povFile.value_or(QByteArray())), outcome);
    });
}

void KilnlightController::awakeFromNib()
{
}

void KilnlightController::render()
{
    // A press that reaches here while a stop drains, from a timer or a queued call, starts its
    // render only once that stop has finished, so the new log never shows the old render's output.
    if (stopInProgress) {
        renderPressedDuringStop = true;
        return;
    }
    if (renderTask) {
        if (progress)
            progress->stoppedByUser();
        stopRenderProcess();
        outlets.renderButton->setText(tr("Render"));
        return;
    }

    povFile = MossworkPreferences::readRenderFilename(MossworkPreferences::preferencesPath());
    if (!povFile) {
        replaceLog(QString::fromLatin1(noPreferencesMessage));
        return;
    }

    replaceLog(QString());
    logOutOfMemory = false;
    outlets.renderButton->setText(tr("Stop"));
    const QByteArrayList arguments = renderArguments();
    image.renderStarted(arguments);
    renderTask = std::make_unique<TaskWrapper>(this, arguments);
    renderTask->startProcess();
}

void KilnlightController::set()
{
    // The window owns the dialog until it closes, and then it deletes itself.
    auto *panel = new QFileDialog(outlets.window);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // Platform dialogs may drop the name field's label; Qt's own keeps every label everywhere.
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setNameFilter(tr("PNG image (*.png)"));
    panel->setDefaultSuffix(QStringLiteral("png"));
    panel->setLabelText(QFileDialog::FileName, tr("Output file"));
    panel->setLabelText(QFileDialog::Accept, tr("Set"));

    const auto [directory, name] = splitLastPathComponent(outlets.outputFile->text());
    if (!directory.isEmpty())
        panel->setDirectory(QFileInfo(directory).absoluteFilePath());
    panel->selectFile(name);

    connect(panel, &QDialog::finished, this, [this, panel](int returnCode) { savePanelDidEnd(panel, returnCode); });
    panel->open();
}

void KilnlightController::savePanelDidEnd(QFileDialog *panel, int returnCode) const
{
    const QStringList chosen = panel->selectedFiles();
    if (returnCode != QDialog::Accepted || chosen.isEmpty())
        return;
    // The dialog's default suffix only fills in a missing one; a name with any other extension is
    // kept to PNG the same way, as a save panel restricted to one file type does.
    QString path = QFileInfo(chosen.constFirst()).absoluteFilePath();
    if (QFileInfo(path).suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) != 0)
        path += QLatin1String(".png");
    outlets.outputFile->setText(path);
}

void KilnlightController::saveLogAs()
{
    // The log's first units stay as they are until it is replaced, which cancels the saver.
    auto *saver = new LogSaver([log = outlets.textView](qsizetype from, qsizetype to) { return log->textRange(from, to); },
                               outlets.textView->length(), this);
    auto *panel = new QFileDialog(outlets.window, tr("Save Log"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setNameFilters({tr("Log (*.log *.txt)"), tr("All files (*)")});
    panel->selectFile(QStringLiteral("povray.log"));
    connect(saver, &QObject::destroyed, panel, &QDialog::reject);
    connect(panel, &QDialog::finished, this, [this, saver = QPointer(saver), panel](int returnCode) {
        if (saver.isNull())
            return;
        if (returnCode != QDialog::Accepted || panel->selectedFiles().isEmpty()) {
            saver->deleteLater();
            return;
        }
        const QString path = panel->selectedFiles().constFirst();
        connect(saver, &LogSaver::finished, this, [this, path](const QString &failure) {
            if (!failure.isEmpty())
                tell(tr("The log could not be saved as %1: %2.").arg(QDir::toNativeSeparators(path), failure));
        });
        saver->start(path);
    });
    panel->open();
}

void KilnlightController::replaceLog(const QString &text)
{
    bool cancelled = false;
    for (LogSaver *saver : findChildren<LogSaver *>(Qt::FindDirectChildrenOnly))
        cancelled = saver->cancel() || cancelled;
    if (cancelled)
        tell(tr("The log was not saved: a new render replaced it before it was written."));
    outlets.textView->replaceText(text);
}

void KilnlightController::tell(const QString &message) const
{
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Save Log"), message, QMessageBox::Ok, outlets.window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QByteArrayList KilnlightController::renderArguments() const
{
    QByteArrayList arguments{rendererPath.toUtf8()};
    const QString outputFile = outlets.outputFile->text();
    if (outputFile.size() > 3)
        arguments << "+O" + outputFile.toUtf8() << "+FN";
    else
        arguments << "-F";
    arguments << "+P";
    if (outlets.antialias->checkState() != Qt::Unchecked)
        arguments << "+A";
    arguments << "+W" + outlets.width->text().toUtf8() << "+H" + outlets.height->text().toUtf8();
    arguments << '"' + povFile.value_or(QByteArray()) + '"';
    return arguments;
}

void KilnlightController::stopRenderProcess()
{
    if (!renderTask)
        return;
    const std::unique_ptr<TaskWrapper> stopping = std::move(renderTask);
    {
        const QScopedValueRollback inStop(stopInProgress, true);
        stopping->stopProcess();
    }
    if (std::exchange(renderPressedDuringStop, false))
        QMetaObject::invokeMethod(this, &KilnlightController::render, Qt::QueuedConnection);
}

// Stopping from here would destroy the wrapper while it is still handing over this output, so
// the stop waits for the next pass of the main loop.
void KilnlightController::appendOutput(const QString &output)
{
    if (progress)
        progress->output(output);
    if (logOutOfMemory)
        return;
    try {
        outlets.textView->appendText(output);
    } catch (const std::bad_alloc &) {
        logOutOfMemory = true;
        outlets.textView->appendNote(outOfMemoryMessage);
        QMetaObject::invokeMethod(
            this, [this] {
                if (logOutOfMemory)
                    stopRenderProcess();
            },
            Qt::QueuedConnection);
    }
    QMetaObject::invokeMethod(this, &KilnlightController::scrollToVisible, Qt::QueuedConnection);
}

void KilnlightController::scrollToVisible() const
{
    outlets.textView->scrollToEnd();
}

void KilnlightController::processStarted()
{
    if (progress)
        progress->started();
}

void KilnlightController::processStartedFailed()
{
    if (progress)
        progress->launchFailed();
    replaceLog(QString::fromLatin1(launchFailedMessage));
}

void KilnlightController::processFinished()
{
    // The wrapper is still inside its own stop when it reports: it may only go once this event is
    // done. Parenting it keeps it owned should the controller go first.
    if (renderTask) {
        TaskWrapper *finished = renderTask.release();
        finished->setParent(this);
        finished->deleteLater();
    }
    if (progress)
        progress->finished();
    outlets.renderButton->setText(tr("Render"));
}
