#pragma once

#include <QDBusConnection>

#include <optional>

// The user's session bus, reached only when one is already running. Asked for a bus that has no
// address, libdbus would autolaunch a bus daemon that outlives the application; so with neither
// DBUS_SESSION_BUS_ADDRESS nor a socket at $XDG_RUNTIME_DIR/bus there is no connection at all, and
// nothing is started or printed.
class SessionBus
{
public:
    // Whether the environment names a running session bus, as libdbus looks for one before it
    // would autolaunch.
    [[nodiscard]] static bool hasAddress();
    // Without an address, has every later attempt in this process fail quietly instead: Qt's own
    // desktop probes (the global menu, accessibility) would otherwise autolaunch a bus daemon.
    // Call it before the application object.
    static void keepAnyFromStarting();
    // The shared session bus connection, or none when there is no address or it cannot be reached.
    [[nodiscard]] static std::optional<QDBusConnection> connection();
};
