#pragma once

#include <QObject>

// Watches a start-up from inside the process: once the first window has been painted, prints the
// steady clock's reading in nanoseconds on standard output and quits the application.
class WindowShownProbe : public QObject
{
    Q_OBJECT

public:
    // Runs by itself at start-up in every program linked with the probe; belongs to the application.
    static void install();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;

    bool reported = false;
};
