#include "KilnlightController.h"

#include "platform/LogView.h"
#include "platform/UniqueFd.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMetaObject>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr QByteArrayView renderFilenameKey = "render_filename";

// Adds one piece of a line, without its line end, to what is kept of it. fgets and strchr saw a line
// as ending at its first NUL byte, so nothing after one counts; nor does any of a line that can no
// longer start with the key.
void keepRelevant(QByteArray &line, bool &complete, QByteArrayView piece)
{
    if (complete)
        return;
    if (const qsizetype nul = piece.indexOf('\0'); nul >= 0) {
        piece.truncate(nul);
        complete = true;
    }
    line.append(piece);
    const qsizetype compared = std::min(line.size(), renderFilenameKey.size());
    if (QByteArrayView(line).first(compared) != renderFilenameKey.first(compared)) {
        line.clear();
        complete = true;
    }
}

// Taken from the environment as bytes, which need not be UTF-8: a decoded QString would lose them.
QByteArray preferencesPath()
{
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty())
        home = QFile::encodeName(QDir::homePath());
    return home + "/.mossworkprefs";
}

std::optional<QByteArray> renderFilenameValue(QByteArrayView line)
{
    if (!line.startsWith(renderFilenameKey))
        return std::nullopt;
    const qsizetype openingQuote = line.indexOf('"');
    const qsizetype closingQuote = line.lastIndexOf('"');
    if (openingQuote < 0 || closingQuote <= openingQuote + 1)
        return std::nullopt;
    return line.sliced(openingQuote + 1, closingQuote - openingQuote - 1).toByteArray();
}

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
    stopRenderProcess();
    povFile.reset();
}

void KilnlightController::connectOutlets(const Outlets &controls)
{
    outlets = controls;
}

void KilnlightController::awakeFromNib()
{
}

std::optional<QByteArray> KilnlightController::readRenderFilename(const QByteArray &path)
{
    // Non-blocking, so that a FIFO in its place cannot hold the window; only a regular file counts.
    const UniqueFd file(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!file.isValid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;

    std::array<char, std::size_t{64} * 1024> buffer{};
    return scanRenderFilename([&]() -> QByteArrayView {
        for (;;) {
            const ssize_t count = ::read(file.get(), buffer.data(), buffer.size());
            if (count < 0 && errno == EINTR)
                continue;
            return {buffer.data(), std::max<ssize_t>(count, 0)};
        }
    });
}

std::optional<QByteArray> KilnlightController::scanRenderFilename(const std::function<QByteArrayView()> &nextPiece)
{
    std::optional<QByteArray> sceneFile;
    QByteArray line;
    bool complete = false;
    for (QByteArrayView piece = nextPiece(); !piece.isEmpty(); piece = nextPiece()) {
        for (qsizetype lineEnd = piece.indexOf('\n'); lineEnd >= 0; lineEnd = piece.indexOf('\n')) {
            keepRelevant(line, complete, piece.first(lineEnd));
            if (auto value = renderFilenameValue(line))
                sceneFile = std::move(value);
            line.clear();
            complete = false;
            piece = piece.sliced(lineEnd + 1);
        }
        keepRelevant(line, complete, piece);
    }
    if (auto value = renderFilenameValue(line))
        sceneFile = std::move(value);
    return sceneFile;
}

void KilnlightController::render()
{
    if (renderTask) {
        stopRenderProcess();
        outlets.renderButton->setText(tr("Render"));
        return;
    }

    povFile = readRenderFilename(preferencesPath());
    if (!povFile) {
        outlets.textView->replaceText(QString::fromLatin1(noPreferencesMessage));
        return;
    }

    outlets.textView->replaceText(QString());
    outlets.renderButton->setText(tr("Stop"));
    renderTask = std::make_unique<TaskWrapper>(this, renderArguments());
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
    stopping->stopProcess();
}

void KilnlightController::appendOutput(const QString &output)
{
    outlets.textView->appendText(output);
    QMetaObject::invokeMethod(this, &KilnlightController::scrollToVisible, Qt::QueuedConnection);
}

void KilnlightController::scrollToVisible() const
{
    outlets.textView->scrollToEnd();
}

void KilnlightController::processStarted()
{
}

void KilnlightController::processStartedFailed()
{
    outlets.textView->replaceText(QString::fromLatin1(launchFailedMessage));
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
    outlets.renderButton->setText(tr("Render"));
}
