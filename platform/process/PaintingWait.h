#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <chrono>

// Waits on a descriptor while the main loop goes on painting and firing timers, and does nothing
// else: user input keeps until the wait is over, and a close request is held while it lasts and
// made again when it ends. Calls queued on the main loop still run, and so do socket notifiers where
// the event dispatcher cannot hold them (GLib's runs them): a quit that a termination signal asks
// for ends the main loop only once the wait is over.
class PaintingWait : public QObject
{
    Q_OBJECT

public:
    using Deadline = std::chrono::steady_clock::time_point;

    PaintingWait();
    PaintingWait(const PaintingWait &) = delete;
    PaintingWait &operator=(const PaintingWait &) = delete;
    ~PaintingWait() override;

    // True once the descriptor is readable; false when the deadline passed first.
    bool waitForReadable(int descriptor, Deadline deadline);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QPointer<QObject>> heldCloses;
};
