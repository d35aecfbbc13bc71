#pragma once

#include "TaskWrapper.h"
#include "platform/desktop/RenderNotice.h"
#include "platform/desktop/RenderedImage.h"
#include "platform/desktop/TaskbarProgress.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class LogView;
class ProgressIndicator;
class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMainWindow;
class QProgressBar;
class QPushButton;

// The main window's controller: renders the scene that Mosswork's preferences name, with the
// window's settings, shows the renderer's messages live in the log, and stops a render on request
// or when it is itself destroyed. The output file can be chosen in a save dialog on the window.
class KilnlightController : public QObject, public TaskWrapperController
{
    Q_OBJECT

public:
    // The controls the controller reads and writes; the window owns them.
    struct Outlets
    {
        QMainWindow *window = nullptr;
        LogView *textView = nullptr;
        QLineEdit *width = nullptr;
        QLineEdit *height = nullptr;
        QCheckBox *antialias = nullptr;
        QPushButton *renderButton = nullptr;
        QLineEdit *outputFile = nullptr;
        // Without them the render's progress is not read.
        QProgressBar *progressBar = nullptr;
        QLabel *progressLabel = nullptr;
    };

    static constexpr auto noPreferencesMessage = "No Mosswork preferences found";
    static constexpr auto launchFailedMessage = "Failed to run /usr/local/bin/povray";
    static constexpr auto outOfMemoryMessage = u"Kilnlight: the log ran out of memory; the render was stopped.";

    // The renderer this build runs, fixed when it was configured.
    [[nodiscard]] static QString defaultRendererPath();

    explicit KilnlightController(QString rendererPath = defaultRendererPath(), QObject *parent = nullptr);
    KilnlightController(const KilnlightController &) = delete;
    KilnlightController &operator=(const KilnlightController &) = delete;
    ~KilnlightController() override;

    void connectOutlets(const Outlets &controls);
    void awakeFromNib();

    [[nodiscard]] bool isRendering() const noexcept { return renderTask != nullptr; }
    // Null until outlets with a progress bar are connected.
    [[nodiscard]] ProgressIndicator *progressIndicator() const noexcept { return progress.get(); }
    // The image the last render was told to write, for the File menu.
    [[nodiscard]] RenderedImage &renderedImage() noexcept { return image; }

    // Starts a render, or stops the one running.
    void render();
    // Opens a save dialog for the output PNG on the window and returns at once; it starts from the
    // folder and name in the output field, and works while a render runs.
    void set();
    // Called when that dialog closes: on QDialog::Accepted the output field gets the chosen file's
    // absolute path, ".png" appended unless it already ends so; on any other code it stays as it was.
    void savePanelDidEnd(QFileDialog *panel, int returnCode) const;
    // Opens a save dialog on the window for the log's text as it stands now, and writes that text
    // to the file chosen. A failure is told in a message box, and so is a save that a new render
    // cancels; neither touches the log.
    void saveLogAs();
    // Stops the running render. While its last output drains the window keeps painting; a render
    // asked for meanwhile starts once the stop has finished.
    void stopRenderProcess();
    void scrollToVisible() const;

    void appendOutput(const QString &output) override;
    void processStarted() override;
    void processFinished() override;
    void processStartedFailed() override;

private:
    [[nodiscard]] QByteArrayList renderArguments() const;
    void replaceLog(const QString &text);
    void tell(const QString &message) const;

    QString rendererPath;
    std::optional<QByteArray> povFile;
    std::unique_ptr<TaskWrapper> renderTask;
    Outlets outlets;
    std::unique_ptr<ProgressIndicator> progress;
    // The log could take no more of this render: the rest of its output is dropped until it stops.
    bool logOutOfMemory = false;
    // How a render shows on the desktop: its image, its end, its progress on the task bar.
    RenderedImage image;
    RenderNotice notice{image};
    TaskbarProgress taskbar;
    bool stopInProgress = false;
    bool renderPressedDuringStop = false;
};
