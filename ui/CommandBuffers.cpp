#include "CommandBuffers.h"

#include "GuardedPages.h"

const Allocator& CommandBuffers()
{
    return GuardedPages();
}
