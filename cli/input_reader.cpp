#include "cli/input_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "cli/checked_alloc.h"
#include "cli/messages.h"
#include "cli/output_size.h"
#include "cli/team_runner.h"
#include "picture/picture_codec.h"

namespace {

// A negative difference shrinks, down to one pixel on a side; the output
// side is limited like the input side (the inverse lines are twice as long).
// Sums and products are formed in 64 bits.
void check_size_limits(std::int32_t width, std::int64_t height, const resize_options& options)
{
    const output_sides out = requested_sides(options, width, height);
    const bool differences = options.size_by == size_way::differences;
    if (out.width < 1)
        fail_no_output_columns(options.added_columns, width);
    if (out.height < 1)
        fail_no_output_rows(options.added_rows, height);
    const char* option = options.size_by == size_way::size ? "-size" : "-scale";
    if (out.width > max_picture_side)
        fail_output_width(out.width, max_picture_side, width, differences ? "-sizexminus" : option,
                          differences ? std::to_string(options.added_columns).c_str() : options.size_value);
    if (out.height > max_picture_side)
        fail_output_height(out.height, max_picture_side, height, differences ? "-sizexminusy" : option,
                           differences ? std::to_string(options.added_rows).c_str() : options.size_value);
}

// The pixel budget bounds what a small compressed file can make the run
// allocate and write. It is the same for every input format: the declared
// size is checked from the header, before anything sized from it exists.
void check_pixel_budget(std::int64_t width, std::int64_t height, const resize_options& options)
{
    const std::int32_t budget = options.max_pixels != 0 ? options.max_pixels : default_pixel_budget;
    if (width * height > budget)
        fail_pixel_budget(width, height, budget);
}

// The run's blocks lent to the reader, first touched on the team; which one
// ran out, if any.
struct run_lender {
    velmora::thread_team* team;
    bool ran_out = false;
    picture_block use = picture_block::encoded;
};

void* lend_block(void* lender, std::size_t bytes, picture_block use)
{
    auto* runs = static_cast<run_lender*>(lender);
    void* block = populated_block(bytes, *runs->team);
    if (!block) {
        runs->ran_out = true;
        runs->use = use;
    }
    return block;
}

[[noreturn]] void report(const codec_message& message, const run_lender& lender, const char* name)
{
    if (message.fault == codec_fault::short_file)
        fail_input_size();
    // The run's own blocks keep the names they have always printed.
    if (message.fault == codec_fault::memory && lender.ran_out)
        fail_no_memory(lender.use == picture_block::encoded ? "vin" : "BIN");
    if (message.fault == codec_fault::file || message.fault == codec_fault::memory)
        fail_input_refused(name, message.text);
    // The side limit and a missing library say nothing about the file itself.
    fail_input_side(message.text);
}

// "-" is descriptor 0, read through a copy so that closing the stream
// leaves the standard input open.
std::FILE* open_input(const char* name)
{
    if (std::strcmp(name, "-") != 0)
        return std::fopen(name, "rb");
    const int copy = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (copy < 0)
        return nullptr;
    std::FILE* stream = fdopen(copy, "rb");
    if (!stream)
        close(copy);
    return stream;
}

}  // namespace

input_status input_open(const char* name, input_file* file)
{
    file->stream = open_input(name);
    if (!file->stream)
        return input_status::cannot_open;
    struct stat info {};
    if (fstat(fileno(file->stream), &info) != 0 || S_ISDIR(info.st_mode)) {
        const bool folder = S_ISDIR(info.st_mode);
        std::fclose(file->stream);
        file->stream = nullptr;
        return folder ? input_status::folder : input_status::cannot_open;
    }
    // A regular file given as standard input may stand past its start; it
    // is then read as a stream, from where it stands.
    file->regular = S_ISREG(info.st_mode) && lseek(fileno(file->stream), 0, SEEK_CUR) == 0;
    file->length = file->regular ? static_cast<std::int64_t>(info.st_size) : 0;
    file->head_length = std::fread(file->head, 1, sizeof file->head, file->stream);
    file->kind = picture_kind_of(file->head, file->head_length);
    return input_status::ok;
}

codec_source input_source(const input_file& file)
{
    return codec_source{file.head, file.head_length, file.stream, file.regular ? file.length : -1};
}

picture read_input(const resize_options& options, velmora::thread_team& team)
{
    const char* name = options.input_name;
    input_file file;
    const input_status status = input_open(name, &file);
    if (status == input_status::cannot_open)
        fail_input_unopenable(name);
    if (status == input_status::folder)
        fail_input_folder(name);
    const codec_source source = input_source(file);
    run_lender lender{&team};
    picture_read_options lent;
    lent.runner = team_runner(team);
    lent.take_block = lend_block;
    lent.lender = &lender;
    picture_reader reader;
    picture image;
    codec_message message = picture_open(file.kind, source, &reader, lent);
    if (!message.failed()) {
        check_pixel_budget(reader.info.width, reader.info.height, options);
        check_size_limits(reader.info.width, reader.info.height, options);
        message = picture_decode(&reader, &image);
    }
    std::fclose(file.stream);
    if (message.failed())
        report(message, lender, name);
    print_warnings(name, reader.warnings);
    return image;
}
