#pragma once

#include <QtGlobal>

// A fixed block of memory, aligned to and the size of one huge page, which the system is asked to
// back with a huge page: filling it then costs one page fault instead of hundreds, which on some
// machines is most of the cost of taking in a large log.
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

    // The contents are no longer needed: the system may take the memory back when short of it,
    // while a block written again before that costs nothing to fill anew.
    void discardContents() const noexcept;

private:
    char *bytes = nullptr;
};
