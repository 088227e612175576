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

void put_u16(bytes& out, std::size_t at, std::uint16_t value);
void put_u32(bytes& out, std::size_t at, std::uint32_t value);
std::uint32_t get_u32(const bytes& in, std::size_t at);

void write_file(const std::string& path, const bytes& content);
bytes read_file(const std::string& path);
bool file_exists(const std::string& path);

// A fresh folder under the system's temporary folder; removed by the caller.
std::string make_scratch_dir();
void remove_tree(const std::string& path);

struct tool_result {
    int status;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// How the tool is started. The tool gets SIGXFSZ and the other signals with
// their default actions, whatever the test program does with them.
struct tool_limits {
    long address_space = 0;  // bytes; 0: unlimited
    long file_size = 0;      // bytes; 0: unlimited
    int umask = -1;          // the file mode creation mask; -1: the test's own
    // Run as the unprivileged user 65534 when the test runs as root, which
    // passes every permission check.
    bool unprivileged = false;
    // Refuse unnamed files (O_TMPFILE) the way file systems without them do,
    // through a preloaded library, so that the named temporary is used.
    bool no_unnamed_files = false;
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

// The usage text, byte for byte.
extern const char* const usage_text;
