#include "platform/Memory.h"

#include <malloc.h>

namespace Memory {

void giveBack()
{
    malloc_trim(0);
}

void shareOneHeap()
{
    mallopt(M_ARENA_MAX, 1);
}

} // namespace Memory
