#include "Collection.h"

#include <mutex>
#include <new>
#include <vector>

#include <sys/mman.h>

namespace CollectionSlabs {

namespace {

// Slabs of collections gone, kept for the next list (lists come again and again as folders are opened).
// Their pages are left to the kernel to take back when memory runs short; until then a slab taken again
// costs no page fault.
constexpr size_t KeptSlabs = 32;

struct Kept
{
    std::mutex lock;
    std::vector<std::byte *> slabs;
};

Kept &kept()
{
    static Kept *k = new Kept; // never destroyed: slabs may go back after static destruction began
    return *k;
}

} // namespace

std::byte *map()
{
    {
        Kept &k = kept();
        const std::lock_guard guard(k.lock);
        if (!k.slabs.empty()) {
            std::byte *slab = k.slabs.back();
            k.slabs.pop_back();
            return slab;
        }
    }
#ifdef MAP_POPULATE
    constexpr int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE;
#else
    constexpr int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#endif
    void *slab = mmap(nullptr, LargeBytes, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (slab == MAP_FAILED)
        throw std::bad_alloc();
    return static_cast<std::byte *>(slab);
}

void Unmap::operator()(std::byte *slab) const noexcept
{
#ifdef MADV_FREE
    Kept &k = kept();
    {
        const std::lock_guard guard(k.lock);
        if (k.slabs.size() < KeptSlabs && madvise(slab, LargeBytes, MADV_FREE) == 0) {
            try {
                k.slabs.push_back(slab);
                return;
            } catch (const std::bad_alloc &) {
            }
        }
    }
#endif
    munmap(slab, LargeBytes);
}

} // namespace CollectionSlabs
