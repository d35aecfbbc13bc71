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
// when stopped; a stopped wrapper is never restarted. At end of stream nothing waits: the child alone
// is asked to end and is reaped in the background, and what it left running with its output closed
// is left alone.
class TaskWrapper : public QObject
{
    Q_OBJECT

public:
    // After SIGTERM at a stop the child gets this long to exit, then its group gets SIGKILL and one
    // last short wait: a stop never holds the window longer, however much output keeps coming.
    // After a natural end the child gets the same grace in the background.
    static constexpr std::chrono::milliseconds terminationGracePeriod{3000};
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

    // Terminates the child and its process group, hands over what it left in the pipe within the
    // grace periods, and reports processFinished. Safe to call again; later calls report nothing.
    void stopProcess();

private:
    void getData(const QByteArray &data);
    void drain(ChildProcess::Deadline &deadline, bool &killed);
    void deliver(const QString &text);
    void finish();

    std::unique_ptr<ChildProcess> task;
    TaskWrapperController *controller;
    QByteArrayList arguments;
    ChildProcess::ExitNotice exitNotice;
    std::unique_ptr<PipeReader> output;
    OutputTextDecoder decoder;
};
