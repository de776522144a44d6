#include "CommandBuffers.h"

const Allocator& CommandBuffers()
{
    return kRuntimeHeap;
}
