#include "cli/checked_alloc.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void no_memory(const char* name)
{
    std::printf("%s no memory!!\n", name);
    std::exit(1);
}

// Every page a process touches for the first time costs a fault, and on a
// virtual machine a fault is dear. Working arrays of a quarter megabyte and
// more are therefore whole 2 MiB huge pages (where the system offers them):
// a few faults instead of hundreds, for at most one partly used huge page
// per array.
constexpr std::size_t huge_page = std::size_t{2} << 20;
constexpr std::size_t huge_from = std::size_t{256} << 10;

void* large_block(std::size_t bytes)
{
    const std::size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
    void* block = nullptr;
    if (rounded < bytes || posix_memalign(&block, huge_page, rounded) != 0)
        return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(block, rounded, MADV_HUGEPAGE);
#endif
    return block;
}

}  // namespace

void* checked_alloc(std::size_t bytes, const char* name)
{
    // A zero-byte request may legitimately return null; ask for one byte so
    // that null always means exhaustion.
    void* block = bytes >= huge_from ? large_block(bytes) : std::malloc(bytes ? bytes : 1);
    if (!block)
        no_memory(name);
    return block;
}
