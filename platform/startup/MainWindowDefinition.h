#pragma once

#include "KilnlightController.h"

#include <QMainWindow>

#include <memory>

namespace Ui {
class MainWindow;
}

// The main window built from its definition (resources/MainWindow.ui), with the one controller
// created, its outlets connected and the controls' actions wired to it. The window carries the
// application's icon; Help → About names the version and the renderer the controller runs; Edit →
// Find… opens the find bar below the log. The
// controller is destroyed before the window, so a render still running is stopped while the log
// still exists.
class MainWindowDefinition
{
public:
    explicit MainWindowDefinition(const QString &rendererPath = KilnlightController::defaultRendererPath());
    MainWindowDefinition(const MainWindowDefinition &) = delete;
    MainWindowDefinition &operator=(const MainWindowDefinition &) = delete;
    ~MainWindowDefinition();

    [[nodiscard]] QMainWindow &window() const { return *mainWindow; }
    [[nodiscard]] Ui::MainWindow &controls() const { return *ui; }
    [[nodiscard]] KilnlightController &controller() const { return *kilnlightController; }

private:
    std::unique_ptr<QMainWindow> mainWindow;
    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<KilnlightController> kilnlightController;
};
