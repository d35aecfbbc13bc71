#include "platform/desktop/SessionBus.h"

#include <QByteArray>

#include <sys/stat.h>
#include <unistd.h>

bool SessionBus::hasAddress()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QByteArray runtimeDirectory = qgetenv("XDG_RUNTIME_DIR");
    if (runtimeDirectory.isEmpty())
        return false;
    // libdbus takes the socket only when it is one and belongs to this user.
    const QByteArray socketPath = runtimeDirectory + "/bus";
    struct stat status {};
    return ::stat(socketPath.constData(), &status) == 0 && S_ISSOCK(status.st_mode) && status.st_uid == ::getuid();
}

std::optional<QDBusConnection> SessionBus::connection()
{
    if (!hasAddress())
        return std::nullopt;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::nullopt;
    return bus;
}
