// Scripted stand-in for povray so tests can provoke exact output, timing and
// process-lifetime situations without a real renderer.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

void writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return; // "closeout" closes the fds on purpose
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

[[noreturn]] void fail(std::string_view what, std::string_view detail)
{
    std::string message = "fakepovray: ";
    message.append(what).append(": ").append(detail).append("\n");
    writeAll(2, message);
    ::_exit(2);
}

// Renamed into place so a polling test never reads a half-written file.
void writeFileFromEnv(const char *envName, std::string_view content)
{
    const char *path = std::getenv(envName);
    if (path == nullptr) {
        return;
    }
    const std::string tmp = std::string(path) + ".tmp";
    std::ofstream file(tmp, std::ios::binary | std::ios::trunc);
    file << content;
    file.close();
    if (!file || ::rename(tmp.c_str(), path) != 0) {
        fail("cannot write", path);
    }
}

long toNumber(std::string_view name, std::string_view text)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < 0) {
        fail(std::string("bad number for ").append(name), text);
    }
    return value;
}

std::string unescape(std::string_view text)
{
    constexpr std::string_view hex = "0123456789abcdef";
    constexpr std::string_view simpleFrom = "nrt\\;";
    constexpr std::string_view simpleTo = "\n\r\t\\;";
    auto hexDigit = [&](std::size_t at) {
        return at < text.size() ? hex.find(static_cast<char>(std::tolower(text[at]))) : std::string_view::npos;
    };
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            result += text[i];
        } else if (const std::size_t simple = simpleFrom.find(text[++i]); simple != std::string_view::npos) {
            result += simpleTo[simple];
        } else if (text[i] == 'x' && hexDigit(i + 1) != std::string_view::npos && hexDigit(i + 2) != std::string_view::npos) {
            result += static_cast<char>(hexDigit(i + 1) * 16 + hexDigit(i + 2));
            i += 2;
        } else {
            fail("bad escape", text);
        }
    }
    return result;
}

// Escapes stay intact here so "\;" survives until unescape().
std::vector<std::string_view> splitCommands(std::string_view script)
{
    std::vector<std::string_view> commands;
    std::size_t start = 0;
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i] == '\\') {
            ++i;
        } else if (script[i] == ';') {
            commands.push_back(script.substr(start, i - start));
            start = i + 1;
        }
    }
    commands.push_back(script.substr(start));
    return commands;
}

void sleepMs(long ms)
{
    timespec left{ms / 1000, (ms % 1000) * 1000000};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void spawnGrandchild(long ms)
{
    // Ignored before fork so the grandchild is immune from its first instant.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGTERM, &ignore, &previous);
    const pid_t pid = ::fork();
    if (pid == 0) {
        sleepMs(ms);
        ::_exit(0);
    }
    ::sigaction(SIGTERM, &previous, nullptr);
    if (pid < 0) {
        fail("fork", "failed");
    }
    writeFileFromEnv("FAKE_POVRAY_GRANDCHILD_PID", std::to_string(pid));
}

void flood(long bytes, const std::string &pattern)
{
    // Whole patterns per chunk keep their rhythm across write boundaries.
    const std::string line = pattern.empty() ? "0123456789012345678901234567890123456789012345678901234567890123456789012345678\n" : pattern;
    std::string chunk;
    while (chunk.size() + line.size() <= std::size_t{64} * 1024) {
        chunk += line;
    }
    if (chunk.empty()) {
        chunk = line;
    }
    for (auto left = static_cast<std::size_t>(bytes); left > 0;) {
        const std::size_t n = std::min(left, chunk.size());
        writeAll(1, std::string_view(chunk).substr(0, n));
        left -= n;
    }
}

void listFds()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        fail("cannot list", "/proc/self/fd");
    }
    std::vector<long> fds;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name{static_cast<const char *>(entry->d_name)};
        if (name != "." && name != ".." && name != std::to_string(::dirfd(dir))) {
            fds.push_back(toNumber("fd", name));
        }
    }
    ::closedir(dir);
    std::ranges::sort(fds);
    std::string text;
    for (const long fd : fds) {
        text.append(text.empty() ? "" : " ").append(std::to_string(fd));
    }
    writeAll(1, text + "\n");
}

void run(std::string_view command)
{
    const std::size_t colon = command.find(':');
    const std::string_view name = command.substr(0, colon);
    const std::string_view arg = colon == std::string_view::npos ? std::string_view{} : command.substr(colon + 1);

    if (name == "out" || name == "err") {
        writeAll(name == "out" ? 1 : 2, unescape(arg));
    } else if (name == "sleep") {
        sleepMs(toNumber(name, arg));
    } else if (name == "ignoreterm") {
        static_cast<void>(std::signal(SIGTERM, SIG_IGN));
    } else if (name == "closeout") {
        ::close(1);
        ::close(2);
    } else if (name == "grandchild") {
        spawnGrandchild(toNumber(name, arg));
    } else if (name == "flood") {
        const std::size_t patternStart = arg.find(':');
        flood(toNumber(name, arg.substr(0, patternStart)),
              patternStart == std::string_view::npos ? std::string() : unescape(arg.substr(patternStart + 1)));
    } else if (name == "fds") {
        listFds();
    } else if (name == "forever") {
        for (;;) {
            ::pause();
        }
    } else if (name == "exit") {
        ::_exit(static_cast<int>(toNumber(name, arg)));
    } else if (!name.empty()) {
        fail("unknown command", command);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    std::string args;
    for (const char *arg : std::span(argv, static_cast<std::size_t>(argc))) {
        args += arg;
        args += '\0';
    }
    writeFileFromEnv("FAKE_POVRAY_ARGS", args);
    writeFileFromEnv("FAKE_POVRAY_PID", std::to_string(::getpid()));

    if (const char *script = std::getenv("FAKE_POVRAY_SCRIPT")) {
        for (const std::string_view command : splitCommands(script)) {
            run(command);
        }
    }
    return 0;
}
