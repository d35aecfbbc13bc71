#include "platform/startup/MainWindowDefinition.h"

#include "platform/log/MessageNavigator.h"
#include "ui_MainWindow.h"

#include <QIcon>
#include <QMessageBox>

MainWindowDefinition::MainWindowDefinition(const QString &rendererPath)
    : mainWindow(std::make_unique<QMainWindow>())
    , ui(std::make_unique<Ui::MainWindow>())
    , kilnlightController(std::make_unique<KilnlightController>(rendererPath))
{
    ui->setupUi(mainWindow.get());
    mainWindow->setWindowIcon(QIcon(QStringLiteral(":/icons/kilnlight.svg")));
    KilnlightController &controller = *kilnlightController;
    controller.connectOutlets({
        .window = mainWindow.get(),
        .textView = ui->textView,
        .width = ui->width,
        .height = ui->height,
        .antialias = ui->antialias,
        .renderButton = ui->renderButton,
        .outputFile = ui->outputFile,
        .progressBar = ui->progressBar,
        .progressLabel = ui->progressLabel,
    });
    QObject::connect(ui->renderButton, &QPushButton::clicked, &controller, &KilnlightController::render);
    QObject::connect(ui->actionRender, &QAction::triggered, &controller, &KilnlightController::render);
    QObject::connect(ui->setButton, &QPushButton::clicked, &controller, &KilnlightController::set);
    QObject::connect(ui->actionSetOutputFile, &QAction::triggered, &controller, &KilnlightController::set);
    RenderedImage &image = controller.renderedImage();
    // Whether the image is there is asked as the menu opens: the renderer or the user may have
    // written or removed it since.
    QObject::connect(ui->fileMenu, &QMenu::aboutToShow, &image, [&image, open = ui->actionOpenRenderedImage, show = ui->actionShowInFolder] {
        open->setEnabled(image.exists());
        show->setEnabled(image.exists());
    });
    QObject::connect(ui->actionOpenRenderedImage, &QAction::triggered, &image, &RenderedImage::open);
    QObject::connect(ui->actionShowInFolder, &QAction::triggered, &image, &RenderedImage::showInFolder);
    QObject::connect(ui->actionSaveLog, &QAction::triggered, &controller, &KilnlightController::saveLogAs);
    ui->findBar->setLog(ui->textView);
    QObject::connect(ui->actionFind, &QAction::triggered, ui->findBar, &FindBar::open);
    QObject::connect(ui->actionFindNext, &QAction::triggered, ui->findBar, &FindBar::findNext);
    QObject::connect(ui->actionFindPrevious, &QAction::triggered, ui->findBar, &FindBar::findPrevious);
    const auto *messages = new MessageNavigator(ui->textView, ui->messageCount);
    QObject::connect(ui->actionNextMessage, &QAction::triggered, messages, &MessageNavigator::next);
    QObject::connect(ui->actionPreviousMessage, &QAction::triggered, messages, &MessageNavigator::previous);
    QObject::connect(ui->actionQuit, &QAction::triggered, mainWindow.get(), &QMainWindow::close);
    QObject::connect(ui->actionAbout, &QAction::triggered, mainWindow.get(), [window = mainWindow.get(), rendererPath] {
        QMessageBox::about(window, QObject::tr("About Kilnlight"),
            QObject::tr("<h3>Kilnlight %1</h3>"
                        "<p>Renders the scene you are modelling in Mosswork with POV-Ray.</p>"
                        "<p>Renderer: %2</p>")
                .arg(QStringLiteral(KILNLIGHT_VERSION), rendererPath.toHtmlEscaped()));
    });
    controller.awakeFromNib();
}

MainWindowDefinition::~MainWindowDefinition()
{
    kilnlightController.reset();
}
