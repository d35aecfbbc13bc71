#include "platform/desktop/SessionBus.h"

#include <QByteArray>

#include <QtGlobal>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// libdbus's address that connects nowhere, and never autolaunches.
constexpr auto disabledAddress = "disabled:";

} // namespace

bool SessionBus::hasAddress()
{
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address != disabledAddress;
    const QByteArray runtimeDirectory = qgetenv("XDG_RUNTIME_DIR");
    if (runtimeDirectory.isEmpty())
        return false;
    // libdbus takes the socket only when it is one and belongs to this user.
    const QByteArray socketPath = runtimeDirectory + "/bus";
    struct stat status {};
    return ::stat(socketPath.constData(), &status) == 0 && S_ISSOCK(status.st_mode) && status.st_uid == ::getuid();
}

void SessionBus::keepAnyFromStarting()
{
    if (!hasAddress())
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray(disabledAddress));
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
