#pragma once

#include "progress/RenderOutcome.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QDBusMessage;
class QWidget;
class RenderedImage;

// Tells a user who has left the window how a render ended: a notice through the freedesktop
// notification service naming the scene and the outcome, each one replacing the one before, and
// the window's alert. Clicking the notice raises the window, where the service offers actions; it
// may also offer to open the rendered image. Every call to the service is asynchronous; without a
// session bus or a notification service nothing is shown and nothing is printed.
class RenderNotice : public QObject
{
    Q_OBJECT

public:
    explicit RenderNotice(const RenderedImage &image, QObject *parent = nullptr);

    // No notice for a render the user stopped, nor while window is the active window. scene is the
    // scene's path or file name; the notice gives its file name as written.
    void renderEnded(QWidget *window, const QString &scene, RenderOutcome outcome);

private slots:
    void actionInvoked(uint id, const QString &actionKey, const QDBusMessage &signal);
    void notificationClosed(uint id, uint reason, const QDBusMessage &signal);

private:
    void notify(const QStringList &capabilities, const QString &sceneName, RenderOutcome outcome);
    [[nodiscard]] bool isShown(uint id, const QDBusMessage &signal) const;

    const RenderedImage &image;
    QPointer<QWidget> window;
    bool listening = false;
    // The notice on screen, and the bus name of the service that shows it; 0 when there is none.
    uint shownId = 0;
    QString shownBy;
};
