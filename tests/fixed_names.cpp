// Preloaded into the tool by tests that must know its temporary names:
// getrandom fills its n-th request (from 0) with the byte n, so that the
// names tried are .velmora-AAAAAA, then .velmora-BBBBBB, and so on.
#include <sys/types.h>

#include <cstring>

namespace {

unsigned requests = 0;

}  // namespace

extern "C" ssize_t getrandom(void* buffer, size_t length, unsigned int)
{
    std::memset(buffer, static_cast<int>(requests++), length);
    return static_cast<ssize_t>(length);
}
