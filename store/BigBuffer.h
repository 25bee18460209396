#pragma once
// An allocator for the large arrays a sort of a whole table fills once and
// drops: memory of 2 MiB and more is mapped on its own and marked for huge
// pages, so that filling it costs one page fault a huge page instead of one
// every 4 KiB (which a virtual machine makes dear). Smaller arrays, and
// systems without huge pages, are served as usual.

#include <cstddef>
#include <new>
#include <vector>

namespace melodeck {

namespace bigbuffer {
void* Allocate(std::size_t bytes);
void Free(void* p, std::size_t bytes);
// For the process, before the window: large blocks come from the heap and the
// heap is marked for huge pages. The grid's row header keeps one item per
// row (8 MB for a million songs), which Qt allocates and fills at once; in
// 4 KiB pages the faults of filling it cost more than the rest of start-up
// added by the rows.
void UseHugePagesForHeap();
} // namespace bigbuffer

template <class T> struct BigAllocator {
    using value_type = T;
    BigAllocator() = default;
    template <class U> BigAllocator(const BigAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(bigbuffer::Allocate(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { bigbuffer::Free(p, n * sizeof(T)); }
    template <class U> bool operator==(const BigAllocator<U>&) const { return true; }
};

template <class T> using BigVector = std::vector<T, BigAllocator<T>>;

} // namespace melodeck
