#pragma once

#include <utility>

// Sole owner of a file descriptor: it is closed exactly once, when its owner lets go.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int descriptor) noexcept : descriptor(descriptor) {}
    UniqueFd(UniqueFd &&other) noexcept : descriptor(std::exchange(other.descriptor, -1)) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.descriptor, -1));
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    [[nodiscard]] int get() const noexcept { return descriptor; }
    [[nodiscard]] bool isValid() const noexcept { return descriptor >= 0; }
    [[nodiscard]] int release() noexcept { return std::exchange(descriptor, -1); }
    void reset(int replacement = -1) noexcept;

private:
    int descriptor = -1;
};
