#include "cli/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/console.h"

namespace {

[[noreturn]] __attribute__((format(printf, 1, 2))) void fail_run(const char* format, ...)
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

// text with every control character written as a C escape (\n, \t, \x1b,
// ...). Other bytes, those of UTF-8 names included, are kept as they are.
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

}  // namespace

void fail_too_many_arguments(int most)
{
    fail_run("too many arguments (at most %d)", most);
}

void fail_unknown_option(const char* option)
{
    std::fflush(stdout);
    std::fprintf(stderr, "velmora: unknown option %s\n", printable(option).c_str());
    print_usage();
    std::exit(1);
}

void fail_option_needs_value(const char* option)
{
    fail_run("option %s needs a value", printable(option).c_str());
}

void fail_option_too_long(const char* option, std::size_t most)
{
    fail_run("the value of option %s is too long (at most %zu characters)", printable(option).c_str(), most);
}

void fail_option_not_a_number(const char* option, const char* value)
{
    fail_run("option %s takes a whole number (digits with an optional sign), not \"%s\"", printable(option).c_str(),
             printable(value).c_str());
}

void fail_option_out_of_range(const char* option, std::int32_t low, std::int32_t high, const char* value)
{
    fail_run("option %s takes a whole number from %d to %d, not \"%s\"", printable(option).c_str(), low, high,
             printable(value).c_str());
}

void fail_option_not_a_choice(const char* option, const char* const* choices, const char* value)
{
    std::string words;
    for (int i = 0; choices[i]; ++i)
        words += std::string(i == 0 ? "" : choices[i + 1] ? ", " : " or ") + choices[i];
    fail_run("option %s takes %s, not \"%s\"", printable(option).c_str(), words.c_str(), printable(value).c_str());
}

void fail_option_not_a_size(const char* option, std::int32_t most, const char* value)
{
    fail_run("option %s takes WxH, Wx or xH with whole numbers from 1 to %d, not \"%s\"", printable(option).c_str(),
             most, printable(value).c_str());
}

void fail_option_not_a_factor(const char* option, int digits, const char* value)
{
    fail_run("option %s takes a factor above 0 such as 2, 0.5 or 150%% (at most %d digits either side of the point), "
             "not \"%s\"",
             printable(option).c_str(), digits, printable(value).c_str());
}

void fail_options_exclusive(const char* earlier, const char* later)
{
    fail_run("%s and %s cannot be used together", printable(earlier).c_str(), printable(later).c_str());
}

void fail_no_input()
{
    fail_run("no input file: give one with -i");
}

void fail_no_output()
{
    fail_run("no output name: give one with -o");
}

void fail_output_base_too_long(std::size_t most, const char* extension)
{
    fail_run("the output name given with -o is too long (at most %zu characters, to leave room for \"%s\")", most,
             extension);
}

void fail_standard_stream(int fd, int error)
{
    fail_run("cannot open /dev/null in place of the closed standard stream %d: %s", fd, std::strerror(error));
}

void fail_input_unopenable(const char* name)
{
    std::fprintf(stderr, "%s\n", printable(name).c_str());
    std::exit(1);
}

void fail_input_folder(const char* name)
{
    fail_run("%s: is a folder, not a file", printable(name).c_str());
}

void fail_input_size()
{
    std::printf("input file size err!!\n");
    std::exit(1);
}

void fail_input_refused(const char* name, const char* reason)
{
    fail_run("%s: %s", printable(name).c_str(), reason);
}

void fail_input_side(const char* reason)
{
    fail_run("%s", reason);
}

void fail_pixel_budget(std::int64_t width, std::int64_t height, std::int64_t budget)
{
    fail_run("the input is %lld x %lld = %lld pixels, above -max-pixels %lld", static_cast<long long>(width),
             static_cast<long long>(height), static_cast<long long>(width * height), static_cast<long long>(budget));
}

void fail_no_output_columns(std::int32_t difference, std::int32_t width)
{
    fail_run("-sizexminus %d leaves no output columns (input width %d; the least is %d)", difference, width,
             1 - width);
}

void fail_no_output_rows(std::int32_t difference, std::int64_t height)
{
    fail_run("-sizexminusy %d leaves no output rows (input height %lld; the least is %lld)", difference,
             static_cast<long long>(height), static_cast<long long>(1 - height));
}

namespace {

// How a side was asked for, after the input's side: "plus -sizexminus 5",
// "with -size x900", "times -scale 2".
std::string asked(const char* option, const char* value)
{
    const char* word = std::strcmp(option, "-scale") == 0 ? "times" : std::strcmp(option, "-size") == 0 ? "with" : "plus";
    return std::string(word) + " " + option + " " + printable(value);
}

}  // namespace

void fail_output_width(std::int64_t width, std::int32_t limit, std::int32_t input, const char* option,
                       const char* value)
{
    fail_run("output width %lld is above the limit of %d (input width %d %s)", static_cast<long long>(width), limit,
             input, asked(option, value).c_str());
}

void fail_output_height(std::int64_t height, std::int32_t limit, std::int64_t input, const char* option,
                        const char* value)
{
    fail_run("output height %lld is above the limit of %d (input height %lld %s)", static_cast<long long>(height),
             limit, static_cast<long long>(input), asked(option, value).c_str());
}

void fail_output_name_too_long()
{
    fail_run("the output name is too long");
}

void fail_output_without_file_part(const char* name)
{
    fail_run("cannot write the output file %s: the name given with -o has no file part", printable(name).c_str());
}

void fail_output(const char* name, const char* reason, bool stream_or_refused)
{
    if (stream_or_refused)
        fail_run("cannot write %s: %s", printable(name).c_str(), reason);
    fail_run("cannot write the output file %s: %s", printable(name).c_str(), reason);
}

void print_warnings(const char* name, const codec_warnings& warnings)
{
    if (warnings.count == 0)
        return;
    std::fflush(stdout);
    for (int i = 0; i < warnings.count; ++i)
        std::fprintf(stderr, "velmora: %s: %s\n", printable(name).c_str(), warnings.text[i]);
}

void fail_no_memory(const char* array)
{
    std::printf("%s no memory!!\n", array);
    std::exit(1);
}

void fail_resize(const velmora::result& failure)
{
    if (failure.code == velmora::status::no_memory) {
        // A transform plan has its own message; the arrays name themselves.
        if (std::strcmp(failure.name, "plan") == 0) {
            std::printf("failure!!!!\n");
            std::exit(1);
        }
        fail_no_memory(failure.name);
    }
    fail_run("%s", failure.message);
}
