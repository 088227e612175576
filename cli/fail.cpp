#include "cli/fail.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

std::string printable(const char* text)
{
    static const char named[] = "\a\b\t\n\v\f\r";
    static const char letters[] = "abtnvfr";
    std::string shown;
    for (const char* at = text; *at != '\0'; ++at) {
        const auto byte = static_cast<unsigned char>(*at);
        if (byte >= 0x20 && byte != 0x7F) {
            shown += *at;
            continue;
        }
        const char* escape = std::strchr(named, *at);
        char code[5];
        if (escape)
            std::snprintf(code, sizeof code, "\\%c", letters[escape - named]);
        else
            std::snprintf(code, sizeof code, "\\x%02x", byte);
        shown += code;
    }
    return shown;
}
