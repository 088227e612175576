#include "cli/fail.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void fail_run(const char* format, ...)
{
    std::fflush(stdout);
    std::fputs("velmora: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    std::exit(1);
}
