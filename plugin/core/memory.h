// The module's one door to the heap. Every allocation and release goes
// through here so that a test build of the module can count them and make the
// Nth one fail; the shipped plug-in uses plain calloc, malloc and free.
#pragma once

#include <cstddef>

namespace vrim {

// Zero-filled block of size bytes, or null when no memory is available.
void* moduleAllocZeroed(std::size_t size);
// Uninitialised block of size bytes, or null when no memory is available.
void* moduleAlloc(std::size_t size);
// Releases a block from either of the above; null is ignored.
void moduleFree(void* block);

} // namespace vrim
