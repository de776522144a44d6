// One object on the C runtime's heap, made and destroyed without the C++ runtime's
// operator new: the program links none of the exception machinery that the
// library's nothrow new brings with it.
#pragma once

#include <cstdlib>
#include <new>
#include <utility>

// A new T made from `args` in memory from the heap, or null when the heap refused.
template <class T, class... Args>
T* NewOnHeap(Args&&... args)
{
    void* memory = std::malloc(sizeof(T));
    return memory ? ::new (memory) T(std::forward<Args>(args)...) : nullptr;
}

// Destroys what NewOnHeap made and gives its memory back; null does nothing.
template <class T>
void DeleteOnHeap(T* object)
{
    if (object == nullptr)
        return;
    object->~T();
    std::free(object);
}
