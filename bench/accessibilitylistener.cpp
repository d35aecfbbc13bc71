// Screen reader stand-in for the benchmark: asks the accessibility registry for every object
// event, text changes among them, and receives them from the accessibility bus until it is ended.
// Prints "ready" once registered.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QTextStream>

int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    QDBusInterface launcher(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"));
    const QDBusReply<QString> address = launcher.call(QStringLiteral("GetAddress"));
    if (!address.isValid())
        qFatal("no accessibility bus: %s", qPrintable(address.error().message()));
    QDBusConnection bus = QDBusConnection::connectToBus(address.value(), QStringLiteral("accessibility"));
    QDBusInterface registry(QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
                            QStringLiteral("org.a11y.atspi.Registry"), bus);
    const QDBusReply<void> registered = registry.call(QStringLiteral("RegisterEvent"), QStringLiteral("object:"), QStringList{}, QString());
    if (!registered.isValid())
        qFatal("cannot register for events: %s", qPrintable(registered.error().message()));
    // Unanswered, yet read off the bus as a screen reader would.
    bus.interface()->call(QStringLiteral("AddMatch"), QStringLiteral("type='signal',interface='org.a11y.atspi.Event.Object'"));
    QTextStream(stdout) << "ready" << Qt::endl;
    return QCoreApplication::exec();
}
