#include "store/BigBuffer.h"

#include <sys/mman.h>

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

} // namespace melodeck::bigbuffer
