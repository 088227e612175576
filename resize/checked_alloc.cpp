#include "resize/checked_alloc.h"

#include <cstdio>
#include <cstdlib>

void* checked_alloc(std::size_t bytes, const char* name)
{
    // A zero-byte request may legitimately return null; ask for one byte so
    // that null always means exhaustion.
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block) {
        std::printf("%s no memory!!\n", name);
        std::exit(1);
    }
    return block;
}
