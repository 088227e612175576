// Preloaded into the tool by tests of the moment its output is put in place:
// sends the process SIGTERM right after the rename over the target succeeded
// (VELMORA_SIGNAL_AT=after), or when the tool asks which signals are
// pending, the last instant before that rename (VELMORA_SIGNAL_AT=before).
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

static bool chosen(const char* moment)
{
    const char* at = std::getenv("VELMORA_SIGNAL_AT");
    return at && std::strcmp(at, moment) == 0;
}

extern "C" int rename(const char* from, const char* to)
{
    const int result = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"))(from, to);
    if (result == 0 && chosen("after"))
        kill(getpid(), SIGTERM);
    return result;
}

extern "C" int sigpending(sigset_t* set)
{
    if (chosen("before"))
        kill(getpid(), SIGTERM);
    return reinterpret_cast<int (*)(sigset_t*)>(dlsym(RTLD_NEXT, "sigpending"))(set);
}
