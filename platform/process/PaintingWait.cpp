#include "platform/process/PaintingWait.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace {

// The longest the main loop goes unserved while the descriptor stays quiet: well within a frame.
constexpr std::chrono::milliseconds servingInterval{4};

} // namespace

PaintingWait::PaintingWait()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

PaintingWait::~PaintingWait()
{
    if (!QCoreApplication::instance())
        return;
    QCoreApplication::instance()->removeEventFilter(this);
    // Queued, so that the closing runs on the main loop itself and not inside whoever waited. The
    // application carries the call: a widget's window hands events posted to it on to its widget.
    for (const QPointer<QObject> &closing : std::as_const(heldCloses)) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [closing] {
            if (auto *window = qobject_cast<QWindow *>(closing))
                window->close();
            else if (auto *widget = qobject_cast<QWidget *>(closing))
                widget->close();
        }, Qt::QueuedConnection);
    }
}

bool PaintingWait::waitForReadable(int descriptor, Deadline deadline)
{
    for (;;) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd readable{descriptor, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(std::min(left, servingInterval).count()));
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true;
    }
}

bool PaintingWait::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Close)
        return false;
    if (!heldCloses.contains(watched))
        heldCloses.append(watched);
    event->ignore();
    return true;
}
