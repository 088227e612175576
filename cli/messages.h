// Every failure the command line reports, with its text: one place for the
// messages of a run. Each function prints its message (one line, mostly
// "velmora: ..." on the standard error stream; a few historic ones on the
// standard output stream) and ends the process with status 1. The codecs'
// warnings are printed here too, and the run goes on. Names and
// values quoted in a message go through printable first, so that a control
// character in a file name cannot break the line or drive the terminal.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/codec_message.h"
#include "velmora/velmora.h"

// The command line.
[[noreturn]] void fail_too_many_arguments(int most);
// Names the option, then prints the usage text.
[[noreturn]] void fail_unknown_option(const char* option);
[[noreturn]] void fail_option_needs_value(const char* option);
[[noreturn]] void fail_option_too_long(const char* option, std::size_t most);
[[noreturn]] void fail_option_not_a_number(const char* option, const char* value);
[[noreturn]] void fail_option_out_of_range(const char* option, std::int32_t low, std::int32_t high,
                                           const char* value);
// choices: the words the option takes, up to a null.
[[noreturn]] void fail_option_not_a_choice(const char* option, const char* const* choices, const char* value);
// -size and -scale: sides up to most, digits up to digits.
[[noreturn]] void fail_option_not_a_size(const char* option, std::int32_t most, const char* value);
[[noreturn]] void fail_option_not_a_factor(const char* option, int digits, const char* value);
// Two ways of giving the output size, in command-line order.
[[noreturn]] void fail_options_exclusive(const char* earlier, const char* later);
[[noreturn]] void fail_no_input();
[[noreturn]] void fail_no_output();
[[noreturn]] void fail_output_base_too_long(std::size_t most, const char* extension);
[[noreturn]] void fail_standard_stream(int fd, int error);

// The input and the sizes it allows.
[[noreturn]] void fail_input_unopenable(const char* name);
[[noreturn]] void fail_input_folder(const char* name);
[[noreturn]] void fail_input_size();
[[noreturn]] void fail_input_refused(const char* name, const char* reason);
[[noreturn]] void fail_input_side(const char* reason);
[[noreturn]] void fail_pixel_budget(std::int64_t width, std::int64_t height, std::int64_t budget);
[[noreturn]] void fail_no_output_columns(std::int32_t difference, std::int32_t width);
[[noreturn]] void fail_no_output_rows(std::int32_t difference, std::int64_t height);
// A side above the limit, with how it was asked for: the option
// (-sizexminus or -sizexminusy, -size, -scale) and its value.
[[noreturn]] void fail_output_width(std::int64_t width, std::int32_t limit, std::int32_t input, const char* option,
                                    const char* value);
[[noreturn]] void fail_output_height(std::int64_t height, std::int32_t limit, std::int64_t input, const char* option,
                                     const char* value);

// The output file. A file to be replaced is "the output file NAME"; a
// stream, and a kind of file that is never written, just NAME.
[[noreturn]] void fail_output_name_too_long();
[[noreturn]] void fail_output_without_file_part(const char* name);
[[noreturn]] void fail_output(const char* name, const char* reason, bool stream_or_refused);

// A codec's warnings about the input or the output file named name, each
// line as "velmora: NAME: TEXT" on the standard error stream.
void print_warnings(const char* name, const codec_warnings& warnings);

// Memory and the library.
[[noreturn]] void fail_no_memory(const char* array);
[[noreturn]] void fail_resize(const velmora::result& failure);
