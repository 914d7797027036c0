#include "heaptrim.h"

#include <malloc.h>

namespace {
// Below this much freed memory a trim is not worth its walk of the heap.
constexpr size_t TrimAboveBytes = 8 * 1024 * 1024;
} // namespace

void returnFreedMemory()
{
#if defined(__GLIBC__)
    const struct mallinfo2 info = mallinfo2();
    if (info.fordblks > TrimAboveBytes)
        malloc_trim(0);
#endif
}
