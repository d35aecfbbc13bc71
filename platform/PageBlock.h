#pragma once

#include <QtGlobal>

// A fixed block of memory, aligned to and the size of one huge page, which the system is asked to
// back with a huge page: filling it then costs one page fault instead of hundreds, which on some
// machines is most of the cost of taking in a large log. Contents start out zero.
class PageBlock
{
public:
    static constexpr qsizetype size = qsizetype{2} << 20;

    PageBlock(); // throws std::bad_alloc
    PageBlock(PageBlock &&other) noexcept;
    PageBlock &operator=(PageBlock &&other) noexcept;
    PageBlock(const PageBlock &) = delete;
    PageBlock &operator=(const PageBlock &) = delete;
    ~PageBlock();

    [[nodiscard]] char *data() const noexcept { return bytes; }

private:
    char *bytes = nullptr;
};
