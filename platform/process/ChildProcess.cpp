#include "platform/process/ChildProcess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <thread>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// How often a child without a pidfd is looked at while someone waits for it.
constexpr std::chrono::milliseconds pollingInterval{5};

std::string describeError(const char *what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

// posix_spawn's attribute and file-action objects need explicit destruction.
class SpawnAttributes
{
public:
    SpawnAttributes()
    {
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        // Own process group, so one signal reaches grandchildren; default signal handling and an
        // empty mask, whatever the application did to its own.
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &all);
    }
    SpawnAttributes(const SpawnAttributes &) = delete;
    SpawnAttributes &operator=(const SpawnAttributes &) = delete;
    SpawnAttributes(SpawnAttributes &&) = delete;
    SpawnAttributes &operator=(SpawnAttributes &&) = delete;
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    posix_spawnattr_t *get() { return &attributes; }

private:
    posix_spawnattr_t attributes{};
};

class SpawnFileActions
{
public:
    explicit SpawnFileActions(int outputDescriptor)
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outputDescriptor, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, outputDescriptor, STDERR_FILENO);
        // Descriptors that Qt or a library opened without close-on-exec must not leak into the child.
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    }
    SpawnFileActions(const SpawnFileActions &) = delete;
    SpawnFileActions &operator=(const SpawnFileActions &) = delete;
    SpawnFileActions(SpawnFileActions &&) = delete;
    SpawnFileActions &operator=(SpawnFileActions &&) = delete;
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions); }
    posix_spawn_file_actions_t *get() { return &actions; }

private:
    posix_spawn_file_actions_t actions{};
};

} // namespace

OutputPipe OutputPipe::create()
{
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0)
        throw LaunchError(describeError("pipe", errno));
    OutputPipe pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
    // Reads on the main loop must never block; the blocking reads poll first.
    ::fcntl(pipe.readEnd.get(), F_SETFL, ::fcntl(pipe.readEnd.get(), F_GETFL) | O_NONBLOCK);
    // A larger pipe lets a fast writer run on while the main loop is busy; unprivileged processes
    // may get up to this much, and the default still works when the system refuses. Its reader
    // sizes its reads by what the pipe ended up holding.
    ::fcntl(pipe.readEnd.get(), F_SETPIPE_SZ, 1024 * 1024);
    return pipe;
}

ChildProcess::~ChildProcess()
{
    if (pid > 0 && !reaped) {
        signal(SIGKILL, Reach::WholeGroup);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

void ChildProcess::launch(const QByteArrayList &arguments, UniqueFd outputWriteEnd)
{
    if (arguments.isEmpty() || pid > 0)
        throw LaunchError("nothing to launch");
    if (std::ranges::any_of(arguments, [](const QByteArray &argument) { return argument.contains('\0'); }))
        throw LaunchError("an argument holds a NUL byte");
    std::vector<char *> argv;
    argv.reserve(static_cast<size_t>(arguments.size()) + 1);
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData())); // NOLINT(cppcoreguidelines-pro-type-const-cast): posix_spawn's historical signature
    argv.push_back(nullptr);

    SpawnAttributes attributes;
    SpawnFileActions fileActions(outputWriteEnd.get());
    pid_t child = -1;
    const int error = ::posix_spawn(&child, argv.front(), fileActions.get(), attributes.get(), argv.data(), environ);
    outputWriteEnd.reset();
    if (error != 0)
        throw LaunchError(describeError(argv.front(), error));
    pid = child;
    // glibc 2.36 declares pidfd_open without C linkage; the system call itself is stable. Without
    // a pidfd the child's state is polled.
    if (notice == ExitNotice::PidFdWhereAvailable)
        exitNotifier = UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
}

bool ChildProcess::hasExited() const
{
    if (pid <= 0 || reaped)
        return true;
    if (exitNotifier.isValid()) {
        pollfd exited{exitNotifier.get(), POLLIN, 0};
        return ::poll(&exited, 1, 0) != 0;
    }
    // WNOWAIT leaves the child unreaped, so its group id stays ours to signal.
    siginfo_t state{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &state, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno != EINTR;
    return state.si_pid != 0; // NOLINT(cppcoreguidelines-pro-type-union-access): glibc declares it in a union
}

bool ChildProcess::waitForExit(Deadline deadline) const
{
    for (;;) {
        if (hasExited())
            return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (exitNotifier.isValid()) {
            pollfd exited{exitNotifier.get(), POLLIN, 0};
            ::poll(&exited, 1, static_cast<int>(left.count()));
        } else {
            std::this_thread::sleep_for(std::min(left, pollingInterval));
        }
    }
}

bool ChildProcess::reap()
{
    if (pid <= 0 || reaped)
        return true;
    pid_t result = -1;
    do {
        result = ::waitpid(pid, nullptr, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0)
        return false;
    reaped = true;
    exitNotifier.reset();
    return true;
}

void ChildProcess::signal(int signalNumber, Reach reach) const
{
    // While the child is unreaped its pid, and so its group id, cannot have been reused.
    if (pid > 0 && !reaped)
        ::kill(reach == Reach::WholeGroup ? -pid : pid, signalNumber);
}
