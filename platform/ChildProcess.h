#pragma once

#include "platform/UniqueFd.h"

#include <QByteArrayList>

#include <chrono>
#include <stdexcept>
#include <sys/types.h>

// Why a child could not be started: no such program, not executable, out of descriptors...
class LaunchError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A pipe that becomes a child's standard output and standard error. Both ends are close-on-exec,
// so no other child ever inherits them.
struct OutputPipe
{
    UniqueFd readEnd;
    UniqueFd writeEnd;

    // Throws LaunchError when the system has no descriptors left.
    [[nodiscard]] static OutputPipe create();
};

// One child process, started in a process group of its own so that stopping it also stops whatever
// it started. The child inherits standard input and the environment, and no descriptor of ours but
// its output pipe. It is always reaped: by waitForExit, or at the latest by the destructor, which
// kills what is left of it.
class ChildProcess
{
public:
    using Deadline = std::chrono::steady_clock::time_point;

    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess();

    // Starts arguments[0] with all of arguments as its argument vector, its standard output and
    // standard error going to outputWriteEnd. Our copy of outputWriteEnd is closed in any case, so
    // end of stream arrives once the child and everything it started have closed theirs.
    // Throws LaunchError when the program cannot be run.
    void launch(const QByteArrayList &arguments, UniqueFd outputWriteEnd);

    [[nodiscard]] bool isRunning() const;
    [[nodiscard]] pid_t processId() const noexcept { return pid; }

    // Signal the child's whole process group; nothing happens once the child has been reaped.
    void terminate() const;
    void kill() const;

    // Waits until the child has exited, but not past the deadline, and reaps it after killing
    // whatever else is left in its process group. True when no child is left to wait for.
    bool waitForExit(Deadline deadline);

private:
    void signalGroup(int signalNumber) const;

    pid_t pid = -1;
    UniqueFd exitNotifier; // a pidfd: readable once the child has exited
    bool reaped = false;
};
