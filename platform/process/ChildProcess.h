#pragma once

#include "platform/process/UniqueFd.h"

#include <QByteArrayList>

#include <chrono>
#include <stdexcept>
#include <sys/types.h>

// Why a child could not be started: no such program, not executable, an argument that cannot be
// passed as given, out of descriptors...
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

// One child process, started in a process group of its own so that stopping it can also stop
// whatever it started. The child inherits standard input and the environment, and no descriptor of
// ours but its output pipe. It is always reaped: by reap, or at the latest by the destructor, which
// kills what is left of its group.
class ChildProcess
{
public:
    using Deadline = std::chrono::steady_clock::time_point;

    // How the end of the child is noticed. A pidfd wakes a waiter at once; where the system refuses
    // one (older kernels, some container profiles) the child's state is polled instead.
    enum class ExitNotice { PidFdWhereAvailable, Polling };
    enum class Reach { ChildOnly, WholeGroup };

    explicit ChildProcess(ExitNotice notice = ExitNotice::PidFdWhereAvailable) : notice(notice) {}
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess();

    // Starts arguments[0] with all of arguments as its argument vector, its standard output and
    // standard error going to outputWriteEnd. Our copy of outputWriteEnd is closed in any case, so
    // end of stream arrives once the child and everything it started have closed theirs.
    // Throws LaunchError when the program cannot be run, or an argument holds a NUL byte, which
    // would cut it short.
    void launch(const QByteArrayList &arguments, UniqueFd outputWriteEnd);

    // True once the child has exited, whether or not it has been reaped yet.
    [[nodiscard]] bool hasExited() const;
    // Waits until the child has exited, but not past the deadline; does not reap it.
    bool waitForExit(Deadline deadline) const;
    // Reaps the child if it has exited. True when no child is left to reap.
    bool reap();

    // Nothing happens once the child has been reaped: its id, and so its group's, may be reused.
    void signal(int signalNumber, Reach reach) const;

    // Readable once the child has exited; -1 when its end can only be polled for.
    [[nodiscard]] int exitDescriptor() const noexcept { return exitNotifier.get(); }

private:
    ExitNotice notice;
    pid_t pid = -1;
    UniqueFd exitNotifier; // a pidfd
    bool reaped = false;
};
