#include "platform/log/LogAnnouncer.h"

#include <QAccessible>

#include <algorithm>
#include <limits>

namespace {

constexpr int frameMilliseconds = 16;
constexpr qsizetype announcedReach = 16384;

int toInt(qsizetype value)
{
    return static_cast<int>(std::min<qsizetype>(value, std::numeric_limits<int>::max()));
}

} // namespace

LogAnnouncer::LogAnnouncer(QObject *view, const LogText &text)
    : source(view)
    , content(text)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &LogAnnouncer::announceAppended);
}

void LogAnnouncer::replaced(const QString &text)
{
    // The replacement is announced whole; output still waiting to be announced is gone.
    timer.stop();
    unannounced = -1;
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(source, 0, QString(), text);
        QAccessible::updateAccessibility(&event);
    }
}

void LogAnnouncer::appendedFrom(qsizetype position)
{
    if (!QAccessible::isActive())
        return;
    unannounced = unannounced < 0 ? position : std::min(unannounced, position);
    if (!timer.isActive())
        timer.start(frameMilliseconds);
}

void LogAnnouncer::announceAppended()
{
    const qsizetype from = std::max(unannounced, content.size() - announcedReach);
    unannounced = -1;
    if (from < content.size() && QAccessible::isActive()) {
        QAccessibleTextInsertEvent event(source, toInt(from), content.mid(from, content.size()));
        QAccessible::updateAccessibility(&event);
    }
}

void LogAnnouncer::selectionMoved(qsizetype cursor, qsizetype start, qsizetype end)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleTextCursorEvent moved(source, toInt(cursor));
    QAccessible::updateAccessibility(&moved);
    QAccessibleTextSelectionEvent selected(source, toInt(start), toInt(end));
    QAccessible::updateAccessibility(&selected);
}
