#include "platform/log/PageBlock.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <utility>

PageBlock::PageBlock()
{
    // Twice the size is mapped so that an aligned block lies within; the rest is handed back.
    void *mapped = ::mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) // NOLINT(cppcoreguidelines-pro-type-cstyle-cast,performance-no-int-to-ptr): the system's own constant
        throw std::bad_alloc();
    auto *start = static_cast<char *>(mapped);
    const auto misalignment = static_cast<qsizetype>(reinterpret_cast<std::uintptr_t>(start) % size); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast): alignment arithmetic
    const qsizetype head = misalignment == 0 ? 0 : size - misalignment;
    if (head > 0)
        ::munmap(start, head);
    bytes = start + head;
    ::munmap(bytes + size, size - head);
    ::madvise(bytes, size, MADV_HUGEPAGE);
}

PageBlock::PageBlock(PageBlock &&other) noexcept
    : bytes(std::exchange(other.bytes, nullptr))
{
}

PageBlock &PageBlock::operator=(PageBlock &&other) noexcept
{
    std::swap(bytes, other.bytes);
    return *this;
}

void PageBlock::discardContents() const noexcept
{
    ::madvise(bytes, size, MADV_FREE);
}

PageBlock::~PageBlock()
{
    if (bytes != nullptr)
        ::munmap(bytes, size);
}
