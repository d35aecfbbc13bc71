#pragma once

#include "platform/process/ChildProcess.h"
#include "platform/log/OutputTextDecoder.h"
#include "platform/process/PipeReader.h"

#include <QByteArrayList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

// How a TaskWrapper reports to its client. Every call comes on the main thread, in this order:
// processStarted; any number of appendOutput; then processFinished, preceded by
// processStartedFailed when the child could not be launched.
class TaskWrapperController
{
public:
    virtual void appendOutput(const QString &output) = 0; // never an empty text
    virtual void processStarted() = 0;
    virtual void processFinished() = 0; // the last call from that wrapper
    virtual void processStartedFailed() = 0;

    TaskWrapperController() = default;
    TaskWrapperController(const TaskWrapperController &) = delete;
    TaskWrapperController &operator=(const TaskWrapperController &) = delete;
    TaskWrapperController(TaskWrapperController &&) = delete;
    TaskWrapperController &operator=(TaskWrapperController &&) = delete;
    virtual ~TaskWrapperController() = default;
};

// Runs one child process, once: its standard output and standard error share one pipe, and each
// read of it reaches the controller as text as soon as it arrives. The run ends at end of stream or
// when stopped; a stopped wrapper is never restarted. Neither end waits for the child to exit: it is
// reaped in the background. At end of stream the child alone is asked to end, and what it left
// running with its output closed is left alone; a stop ends the child's whole process group.
class TaskWrapper : public QObject
{
    Q_OBJECT

public:
    // After SIGTERM the child gets this long to exit, then SIGKILL: at a stop its whole group, after
    // a natural end the child alone.
    static constexpr std::chrono::milliseconds terminationGracePeriod{3000};
    // How long a drain reads on once the child is gone or past its grace and its group was killed:
    // something outside the group may keep the pipe full for ever.
    static constexpr std::chrono::milliseconds killGracePeriod{1000};
    // The longest a drain waits on a quiet pipe before it looks at the child and the deadline again.
    static constexpr std::chrono::milliseconds exitCheckInterval{20};

    // arguments[0] is the absolute path of the program, the rest its arguments. The controller is
    // not owned and must outlive the run, or stop it first.
    TaskWrapper(TaskWrapperController *controller, QByteArrayList arguments,
                ChildProcess::ExitNotice exitNotice = ChildProcess::ExitNotice::PidFdWhereAvailable);
    TaskWrapper(const TaskWrapper &) = delete;
    TaskWrapper &operator=(const TaskWrapper &) = delete;
    ~TaskWrapper() override;

    void startProcess();

    // Sends SIGTERM to the child's process group and, when output was waiting in the pipe, hands it
    // over with what follows it up to end of stream, within the grace periods; then reports
    // processFinished. It never waits for the child to exit. While it drains, the main loop only
    // paints and fires timers (see PaintingWait); a stop called from there returns at once, and the
    // wrapper must not be destroyed from there. Safe to call again; later calls report nothing.
    void stopProcess();

private:
    void getData(const QByteArray &data);
    // Returns how long the child's group may still take before it is killed.
    std::chrono::milliseconds drain();
    void deliver(const QString &text);
    void finish(std::chrono::milliseconds killAfter, ChildProcess::Reach reach);

    std::unique_ptr<ChildProcess> task;
    TaskWrapperController *controller;
    QByteArrayList arguments;
    ChildProcess::ExitNotice exitNotice;
    std::unique_ptr<PipeReader> output;
    OutputTextDecoder decoder;
    bool stopping = false;
};
