#include "Collection.h"

#include <new>

#include <sys/mman.h>

namespace CollectionSlabs {

std::byte *map()
{
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
    munmap(slab, LargeBytes);
}

} // namespace CollectionSlabs
