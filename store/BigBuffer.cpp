#include "store/BigBuffer.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace melodeck::bigbuffer {

namespace {

constexpr std::size_t kHuge = std::size_t(2) << 20;

std::size_t mapped(std::size_t bytes) {
    return (bytes + kHuge - 1) / kHuge * kHuge;
}

} // namespace

void* Allocate(std::size_t bytes) {
    if (bytes < kHuge) {
        if (void* p = std::malloc(bytes ? bytes : 1))
            return p;
        throw std::bad_alloc();
    }
    void* p =
        mmap(nullptr, mapped(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, mapped(bytes), MADV_HUGEPAGE);
#endif
    return p;
}

void Free(void* p, std::size_t bytes) {
    if (!p)
        return;
    if (bytes < kHuge)
        std::free(p);
    else
        munmap(p, mapped(bytes));
}

void UseHugePagesForHeap() {
#ifdef MADV_HUGEPAGE
    // Blocks up to 64 MiB come from the heap rather than from a mapping of
    // their own each, freed blocks stay for the next, and the heap grows by
    // 48 MiB at once: the probe below makes it grow now, and that room is
    // marked for huge pages.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    mallopt(M_TOP_PAD, 48 << 20);
    void* probe = std::malloc(kHuge / 2);
    const auto at = reinterpret_cast<std::uintptr_t>(probe);
    const auto from = (at + kHuge - 1) / kHuge * kHuge;
    const auto to = reinterpret_cast<std::uintptr_t>(sbrk(0)) / kHuge * kHuge;
    // An allocator that does not use the heap (a sanitizer's) leaves it be.
    if (probe && at < to && from < to)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    std::free(probe);
#endif
}

} // namespace melodeck::bigbuffer
