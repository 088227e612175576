// Helpers shared by the test programs: BMP files built byte by byte, scratch
// folders, and running the built velmora binary with its streams captured.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<std::uint8_t>;

// One pixel as stored: blue, green, red.
struct bgr {
    std::uint8_t b, g, r;
};

// How to lay out a test file; the defaults give a plain bottom-up 24-bit
// file with a 40-byte info header.
struct bmp_layout {
    std::uint32_t info_size = 40;
    bool top_down = false;
    std::int64_t pixel_offset = -1;  // -1: right after the headers
    std::int64_t stored_size = -1;   // -1: the true size
    std::uint16_t planes = 1;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::int32_t width_field = 0;    // 0: the true width
    std::int32_t height_field = 0;   // 0: the true height (negated when top_down)
    bool signature = true;           // false writes "XY" instead of "BM"
};

// pixels[y][x] with y = 0 the top row of the picture.
bytes make_bmp(const std::vector<std::vector<bgr>>& pixels, const bmp_layout& layout = {});

// A width x height picture whose samples follow a fixed, position-dependent
// pattern, so that any misplaced pixel shows.
std::vector<std::vector<bgr>> pattern_picture(int width, int height);

// A BMP file of any variant, field by field. Fields that a header kind does
// not have are not written: the 12-byte header takes 16-bit sizes, the
// 16-byte one ends after the bit count.
struct bmp_build {
    std::uint32_t info_size = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;  // as stored: negative means top down
    std::uint16_t planes = 1;
    std::uint16_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colours_used = 0;
    // Written from byte 54 on: inside a header of 52 bytes or more, right
    // after a 40-byte one.
    std::vector<std::uint32_t> masks;
    // Four bytes per entry (blue, green, red, 0), three after a 12-byte header.
    std::vector<bgr> palette;
    bytes pixels;                    // the pixel data as stored
    std::int64_t pixel_offset = -1;  // -1: right after headers, masks and table
    std::int64_t stored_size = -1;   // -1: the true size
};

bytes build_bmp(const bmp_build& build);

// Pixel rows as stored: values[y][x] (y = 0 the top row) packed at the given
// depth (below 8 bits the leftmost pixel in the high bits, above it little
// endian), rows bottom up unless top_down, each padded to four bytes.
bytes pack_rows(const std::vector<std::vector<std::uint32_t>>& values, int bits, bool top_down = false);

// One small picture in one of the variants the reader accepts, built byte by
// byte, and the picture it shows, worked out independently of the reader.
struct bmp_variant {
    std::string name;
    bytes file;
    std::vector<std::vector<bgr>> picture;
};

// Every accepted variant: each header size, each depth with and without
// bit fields, short and long colour tables, run-length coding with every
// escape.
std::vector<bmp_variant> bmp_variants();

void put_u16(bytes& out, std::size_t at, std::uint16_t value);
void put_u32(bytes& out, std::size_t at, std::uint32_t value);
std::uint32_t get_u32(const bytes& in, std::size_t at);

void write_file(const std::string& path, const bytes& content);
bytes read_file(const std::string& path);
bool file_exists(const std::string& path);

// The names in a folder, sorted.
std::vector<std::string> folder_entries(const std::string& folder);

// A fresh folder under the system's temporary folder; removed by the caller.
std::string make_scratch_dir();
void remove_tree(const std::string& path);

struct tool_result {
    int status;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
    // The tool's peak resident size (ru_maxrss) in KiB, which also counts
    // the test's own size when it started the tool (Linux keeps it over exec).
    long peak_kib;
};

// How the tool is started. The tool gets SIGXFSZ and the other signals with
// their default actions, whatever the test program does with them.
struct tool_limits {
    long address_space = 0;  // bytes; 0: unlimited
    long file_size = 0;      // bytes; 0: unlimited
    long stack = 0;          // bytes, also the default stack of new threads; 0: the test's own
    int umask = -1;          // the file mode creation mask; -1: the test's own
    // Run as the unprivileged user 65534 when the test runs as root, which
    // passes every permission check.
    bool unprivileged = false;
    // Refuse unnamed files (O_TMPFILE) the way file systems without them do,
    // through a preloaded library, so that the named temporary is used.
    bool no_unnamed_files = false;
    // Make the temporary names known (tests/fixed_names.cpp).
    bool fixed_names = false;
    // Send SIGTERM "before" or "after" the commit (tests/signal_at_commit.cpp).
    const char* signal_at = nullptr;
    // Start the tool with these of its descriptors 0, 1 and 2 closed (bit n
    // for descriptor n).
    unsigned closed_streams = 0;
};

// The status of a tool that could not be started as asked (for instance
// because the unprivileged user could not be taken); the tool never uses it.
constexpr int tool_not_started = 125;

// Runs the velmora binary with the arguments (program name excluded) in the
// folder cwd.
tool_result run_tool(const std::vector<std::string>& args, const std::string& cwd, const tool_limits& limits = {});

// The same in two halves, for a test that acts while the tool runs.
struct tool_process {
    int pid;
    std::string out_path;  // where its standard output and error go
    std::string err_path;
};
tool_process start_tool(const std::vector<std::string>& args, const std::string& cwd, const tool_limits& limits = {});
// Waits until the standard output holds text (true) or the tool has ended
// (false).
bool wait_for_output(const tool_process& process, const std::string& text);
tool_result finish_tool(const tool_process& process);

// The same with input written to the tool's standard input through a pipe.
tool_result run_tool_fed(const std::vector<std::string>& args, const std::string& cwd, const bytes& input);

// The usage text, byte for byte.
extern const char* const usage_text;

// The 1-D mirror resize of x to n_out samples as velmora.h states it, in
// long double: the cosine coefficients, then the series at input position
// x' n / n'.
std::vector<long double> exact_line(const std::vector<long double>& x, int n_out);

// count doubles drawn evenly from [-1, 1), the same for the same seed.
std::vector<double> random_doubles(std::size_t count, unsigned seed);
