#include "platform/desktop/TaskbarProgress.h"

#include "platform/desktop/SessionBus.h"

#include <QDBusMessage>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

TaskbarProgress::~TaskbarProgress()
{
    clear();
}

void TaskbarProgress::setProgress(double fraction)
{
    // NaN fails both comparisons of std::clamp, so it is caught first.
    const double done = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
    const int percent = static_cast<int>(std::floor(done * 100.0));
    if (shownPercent == percent)
        return;
    shownPercent = percent;
    send(percent, true);
}

void TaskbarProgress::clear()
{
    if (!shownPercent)
        return;
    shownPercent.reset();
    send(0, false);
}

void TaskbarProgress::send(int percent, bool visible) const
{
    const std::optional<QDBusConnection> bus = SessionBus::connection();
    if (!bus)
        return;
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/kilnlight"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << QStringLiteral("application://kilnlight.desktop")
           << QVariantMap{{QStringLiteral("progress"), percent / 100.0}, {QStringLiteral("progress-visible"), visible}};
    bus->send(update);
}
