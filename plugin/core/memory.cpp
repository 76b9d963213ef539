#include "plugin/core/memory.h"

#include <cstdlib>

namespace vrim {

void* moduleAllocZeroed(std::size_t size) {
    return std::calloc(1, size);
}
void* moduleAlloc(std::size_t size) {
    return std::malloc(size);
}
void moduleFree(void* block) {
    std::free(block);
}

} // namespace vrim
