// Renderer stand-in for the benchmark: ignores its arguments and writes BENCH_FLOOD_BYTES bytes of
// 80-byte lines to standard output as fast as it can, then exits. SIGTERM ends it at once.

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

int main()
{
    const char *requested = std::getenv("BENCH_FLOOD_BYTES");
    std::size_t left = requested != nullptr ? std::strtoull(requested, nullptr, 10) : 0;
    const std::string_view line = "Parsing object 0123456789 of the scene: every byte counts, every line is eighty\n";
    std::string block;
    while (block.size() + line.size() <= std::size_t{1024} * 1024)
        block += line;
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, block.data(), std::min(left, block.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return 1;
        left -= static_cast<std::size_t>(written);
    }
    return 0;
}
