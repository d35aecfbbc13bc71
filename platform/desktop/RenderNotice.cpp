#include "platform/desktop/RenderNotice.h"

#include "platform/desktop/RenderedImage.h"
#include "platform/desktop/SessionBus.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QVariantMap>
#include <QWidget>

namespace {

constexpr QLatin1String service("org.freedesktop.Notifications");
constexpr QLatin1String objectPath("/org/freedesktop/Notifications");
constexpr QLatin1String interface = service;
constexpr QLatin1String defaultAction("default");
constexpr QLatin1String openImageAction("open-image");

// Only these three are markup in a notice's body; the scene's name must reach the user as written.
QString escapeBodyMarkup(QString text)
{
    return text.replace(u'&', QLatin1String("&amp;")).replace(u'<', QLatin1String("&lt;")).replace(u'>', QLatin1String("&gt;"));
}

QString summary(RenderOutcome outcome)
{
    switch (outcome) {
    case RenderOutcome::Finished:
        return RenderNotice::tr("Render finished");
    case RenderOutcome::Failed:
        return RenderNotice::tr("Render failed");
    case RenderOutcome::Stopped:
    case RenderOutcome::Ended:
        break;
    }
    return RenderNotice::tr("Render ended");
}

} // namespace

RenderNotice::RenderNotice(const RenderedImage &image, QObject *parent)
    : QObject(parent)
    , image(image)
{
}

void RenderNotice::renderEnded(QWidget *window, const QString &scene, RenderOutcome outcome)
{
    if (outcome == RenderOutcome::Stopped || window == nullptr || window->isActiveWindow())
        return;
    QApplication::alert(window);
    std::optional<QDBusConnection> bus = SessionBus::connection();
    if (!bus)
        return;
    this->window = window;
    if (!listening) {
        // No sender named: naming the service would make Qt look up its owner with a blocking call.
        // The slots check the sender instead.
        listening = bus->connect(QString(), objectPath, interface, QStringLiteral("ActionInvoked"), this,
                        SLOT(actionInvoked(uint, QString, QDBusMessage)))
            && bus->connect(QString(), objectPath, interface, QStringLiteral("NotificationClosed"), this,
                SLOT(notificationClosed(uint, uint, QDBusMessage)));
    }
    const QDBusMessage getCapabilities = QDBusMessage::createMethodCall(service, objectPath, interface, QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(bus->asyncCall(getCapabilities), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
        [this, sceneName = QFileInfo(scene).fileName(), outcome](QDBusPendingCallWatcher *call) {
            const QDBusPendingReply<QStringList> capabilities = *call;
            if (!capabilities.isError())
                notify(capabilities.value(), sceneName, outcome);
            call->deleteLater();
        });
}

void RenderNotice::notify(const QStringList &capabilities, const QString &sceneName, RenderOutcome outcome)
{
    const std::optional<QDBusConnection> bus = SessionBus::connection();
    if (!bus)
        return;
    QStringList actions;
    if (capabilities.contains(QLatin1String("actions"))) {
        actions << defaultAction << tr("Show Kilnlight");
        if (image.exists())
            actions << openImageAction << tr("Open Rendered Image");
    }
    const QString body = capabilities.contains(QLatin1String("body-markup")) ? escapeBodyMarkup(sceneName) : sceneName;
    QDBusMessage notice = QDBusMessage::createMethodCall(service, objectPath, interface, QStringLiteral("Notify"));
    notice << QStringLiteral("Kilnlight") << shownId << QStringLiteral("kilnlight") << summary(outcome) << body << actions
           << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("kilnlight")}} << -1;
    auto *watcher = new QDBusPendingCallWatcher(bus->asyncCall(notice), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        const QDBusPendingReply<uint> id = *call;
        if (!id.isError()) {
            shownId = id.value();
            shownBy = id.reply().service();
        }
        call->deleteLater();
    });
}

bool RenderNotice::isShown(uint id, const QDBusMessage &signal) const
{
    return id != 0 && id == shownId && signal.service() == shownBy;
}

void RenderNotice::actionInvoked(uint id, const QString &actionKey, const QDBusMessage &signal)
{
    if (!isShown(id, signal))
        return;
    if (actionKey == openImageAction) {
        image.open();
    } else if (actionKey == defaultAction && window) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        window->raise();
        window->activateWindow();
    }
}

void RenderNotice::notificationClosed(uint id, uint /*reason*/, const QDBusMessage &signal)
{
    if (isShown(id, signal))
        shownId = 0;
}
