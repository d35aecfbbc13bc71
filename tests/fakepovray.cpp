// Scripted stand-in for povray, so that tests can provoke exact output, timing and process-lifetime
// situations. FAKE_POVRAY_SCRIPT holds commands separated by ";":
//   out:TEXT, err:TEXT   write TEXT, with \n \r and \xHH escapes, to stdout or stderr
//   flood:BYTES[:TEXT]   write TEXT (by default an 80-byte line) over and over, BYTES in all
//   sleep:MS, forever (pause until a signal ends it)
//   ignoreterm           ignore SIGTERM from now on
//   termout:TEXT         on SIGTERM, write TEXT to stdout and exit
//   termlinger:MS        on SIGTERM, write termout's TEXT, then take MS to exit
// A TEXT is written 100 ms after SIGTERM, so that whoever sent it has looked for waiting output
// before TEXT arrives.
//   closeout             close stdout and stderr
//   grandchild:MS        leave a child that ignores SIGTERM and holds the output for MS
//   quietgrandchild:MS   the same, but with its output closed from the start
//   stray:MS[:PAUSE]     a child in a session of its own that ignores SIGTERM and floods the output
//                        for MS, PAUSE ms between writes of 64 KiB
// When FAKE_POVRAY_DIR names a folder, the argument vector goes to its file "arguments" (each
// argument NUL-terminated), the pid to "pid" and the last grandchild's pid to "grandchild".

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace {

// Gives up on a failed write other than an interrupted one: closeout closes the descriptors on purpose.
void writeAll(int fd, std::string_view data)
{
    for (ssize_t n = 0; !data.empty() && (n >= 0 || errno == EINTR); data.remove_prefix(static_cast<std::size_t>(std::max<ssize_t>(n, 0))))
        n = ::write(fd, data.data(), data.size());
}

// Tests read these files only once the run has shown output or ended, so they are complete by then.
void record(const char *name, std::string_view content)
{
    if (const char *folder = std::getenv("FAKE_POVRAY_DIR"))
        std::ofstream(std::string(folder) + '/' + name, std::ios::binary) << content;
}

std::string unescape(std::string_view text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size())
            result += text[i];
        else if (const std::size_t simple = std::string_view("nr").find(text[++i]); simple != std::string_view::npos)
            result += std::string_view("\n\r")[simple];
        else if (text[i] == 'x' && i + 2 < text.size())
            result += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)), i += 2;
    }
    return result;
}

// Whole patterns per write keep their rhythm across write boundaries.
std::string floodChunk(std::string pattern = "0123456789012345678901234567890123456789012345678901234567890123456789012345678\n")
{
    for (const std::string line = pattern; pattern.size() + line.size() <= std::size_t{64} * 1024;)
        pattern += line;
    return pattern;
}

void spawnGrandchild(std::string_view kind, long long ms, long long pause)
{
    // Ignored before fork, so that the grandchild is immune from its first instant.
    const auto previous = std::signal(SIGTERM, SIG_IGN);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        if (kind == "quietgrandchild")
            ::close(1), ::close(2);
        if (kind == "stray" && ::setsid() > 0)
            for (const std::string chunk = floodChunk(); std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(pause)))
                writeAll(1, chunk);
        std::this_thread::sleep_until(end);
        ::_exit(0);
    }
    static_cast<void>(std::signal(SIGTERM, previous));
    record("grandchild", std::to_string(pid));
}

void run(std::string_view command)
{
    const std::size_t colon = command.find(':');
    const std::string_view name = command.substr(0, colon);
    const std::string arg(colon == std::string_view::npos ? std::string_view{} : command.substr(colon + 1));
    char *rest = nullptr; // after a leading number, where a second argument may follow a colon
    const long long number = std::strtoll(arg.c_str(), &rest, 10);
    const std::string second = *rest == ':' ? std::string(rest + 1) : std::string();
    if (name == "out" || name == "err")
        writeAll(name == "out" ? 1 : 2, unescape(arg));
    else if (name == "sleep")
        std::this_thread::sleep_for(std::chrono::milliseconds(number));
    else if (name == "ignoreterm")
        static_cast<void>(std::signal(SIGTERM, SIG_IGN));
    else if (name == "termout" || name == "termlinger") {
        // Static, so that the handler can reach them.
        static std::string termOutput;
        static timespec linger{};
        if (name == "termout")
            termOutput = unescape(arg);
        else
            linger = {static_cast<time_t>(number / 1000), static_cast<long>(number % 1000 * 1000000)};
        static_cast<void>(std::signal(SIGTERM, [](int) {
            constexpr timespec beforeOutput{0, 100'000'000};
            if (!termOutput.empty())
                ::nanosleep(&beforeOutput, nullptr);
            writeAll(1, termOutput), ::nanosleep(&linger, nullptr), ::_exit(0);
        }));
    } else if (name == "closeout")
        ::close(1), ::close(2);
    else if (name == "grandchild" || name == "quietgrandchild" || name == "stray")
        spawnGrandchild(name, number, std::strtoll(second.c_str(), nullptr, 10));
    else if (name == "flood") {
        const std::string chunk = second.empty() ? floodChunk() : floodChunk(unescape(second));
        for (auto left = static_cast<std::size_t>(number); left > 0; left -= std::min(left, chunk.size()))
            writeAll(1, std::string_view(chunk).substr(0, std::min(left, chunk.size())));
    } else if (name == "forever")
        for (;;)
            ::pause();
    else if (!name.empty())
        writeAll(2, "fakepovray: unknown command\n"), ::_exit(2);
}

} // namespace

int main(int argc, char *argv[])
{
    std::string args;
    for (const char *arg : std::span(argv, static_cast<std::size_t>(argc)))
        args.append(arg).push_back('\0');
    record("arguments", args);
    record("pid", std::to_string(::getpid()));
    const char *script = std::getenv("FAKE_POVRAY_SCRIPT");
    for (std::string_view rest = script == nullptr ? "" : script; !rest.empty();) {
        const std::size_t end = std::min(rest.find(';'), rest.size());
        run(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
}
