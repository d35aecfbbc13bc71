#include "bench/WindowShownProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <chrono>

void WindowShownProbe::install()
{
    QCoreApplication *application = QCoreApplication::instance();
    application->installEventFilter(new WindowShownProbe(application));
}

namespace {
void installWindowShownProbe()
{
    WindowShownProbe::install();
}
} // namespace

// Runs in every program built with this file, before its main window exists.
Q_COREAPP_STARTUP_FUNCTION(installWindowShownProbe)

bool WindowShownProbe::eventFilter(QObject *watched, QEvent *event)
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (!reported && event->type() == QEvent::Paint && widget != nullptr && widget->isWindow()) {
        reported = true;
        // Reported once the whole first paint is done and flushed, not as it starts.
        QTimer::singleShot(0, this, [] {
            QTextStream(stdout) << std::chrono::steady_clock::now().time_since_epoch().count() << Qt::endl;
            QCoreApplication::quit();
        });
    }
    return false;
}
