#include "picture/codec_message.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void one_line(char* text)
{
    for (; *text != '\0'; ++text)
        if (static_cast<unsigned char>(*text) < 0x20)
            *text = ' ';
}

}  // namespace

codec_message codec_fail(codec_fault fault, const char* format, ...)
{
    codec_message message;
    message.fault = fault;
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message.text, sizeof message.text, format, arguments);
    va_end(arguments);
    one_line(message.text);
    return message;
}

codec_message codec_fail_text(codec_fault fault, const char* prefix, const char* text)
{
    return codec_fail(fault, "%s%s", prefix, text);
}

void codec_warn(codec_warnings* warnings, const char* format, ...)
{
    if (warnings->count == codec_warnings::most)
        return;
    char* line = warnings->text[warnings->count];
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof warnings->text[0], format, arguments);
    va_end(arguments);
    one_line(line);
    for (int i = 0; i < warnings->count; ++i)
        if (std::strcmp(warnings->text[i], line) == 0)
            return;
    ++warnings->count;
}
