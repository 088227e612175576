#include "test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>

#ifndef VELMORA_EXE
#error "VELMORA_EXE must name the built binary"
#endif
#if !defined(VELMORA_NO_UNNAMED_FILES) || !defined(VELMORA_FIXED_NAMES)
#error "VELMORA_NO_UNNAMED_FILES and VELMORA_FIXED_NAMES must name the preloaded libraries"
#endif

const char* const usage_text =
    "Usage: VELMORA [options]\n"
    "\toptions: \n"
    "\t  -help          : help message display\n"
    "\t  -i             : input picture file name (BMP, PNG, JPEG or TIFF)\n"
    "\t  -o             : output file name (auto add .bmp, or the -format extension)\n"
    "\t  -sizexminus    : difference between input horizontal picture size and output one \n"
    "\t  -sizexminusy   : difference between input vertical picture size and output one\n"
    "\t  -size          : output size WxH; leave out W or H to keep the aspect ratio\n"
    "\t  -scale         : output size as a factor of the input size: 2, 0.5 or 150%\n"
    "\t  -version       : print the version and the formats built in\n"
    "\t  -threads       : number of threads (default: every CPU the process may use)\n"
    "\t  -format        : output file format: bmp, png, tiff or jpeg (default: bmp)\n"
    "\t  -rounding      : nearest or truncate (default: truncate for bmp, nearest otherwise)\n"
    "\t  -quality       : JPEG quality, 1 to 100 (default: 92)\n"
    "\t  -max-pixels    : largest input picture, in pixels (default: 178956970)\n";

void put_u16(bytes& out, std::size_t at, std::uint16_t value)
{
    out[at] = static_cast<std::uint8_t>(value);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put_u32(bytes& out, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t get_u32(const bytes& in, std::size_t at)
{
    return in[at] | (in[at + 1] << 8) | (in[at + 2] << 16) | (static_cast<std::uint32_t>(in[at + 3]) << 24);
}

bytes make_bmp(const std::vector<std::vector<bgr>>& pixels, const bmp_layout& layout)
{
    const int height = static_cast<int>(pixels.size());
    const int width = height ? static_cast<int>(pixels[0].size()) : 0;
    const std::size_t stride = (3 * width + 3) / 4 * 4;
    const std::size_t headers = 14 + layout.info_size;
    const std::size_t offset = layout.pixel_offset < 0 ? headers : static_cast<std::size_t>(layout.pixel_offset);
    // Pixels never overwrite the header fields, even when the offset field
    // or a short info header says so.
    const std::size_t pixels_at = std::max({offset, headers, std::size_t{54}});
    bytes file(pixels_at + stride * height, 0);
    file[0] = layout.signature ? 'B' : 'X';
    file[1] = layout.signature ? 'M' : 'Y';
    const std::int64_t true_size = static_cast<std::int64_t>(offset + stride * height);
    put_u32(file, 2, static_cast<std::uint32_t>(layout.stored_size < 0 ? true_size : layout.stored_size));
    put_u32(file, 10, static_cast<std::uint32_t>(offset));
    put_u32(file, 14, layout.info_size);
    put_u32(file, 18, static_cast<std::uint32_t>(layout.width_field ? layout.width_field : width));
    const std::int32_t height_value = layout.height_field ? layout.height_field
                                                          : (layout.top_down ? -height : height);
    put_u32(file, 22, static_cast<std::uint32_t>(height_value));
    put_u16(file, 26, layout.planes);
    put_u16(file, 28, layout.bits);
    put_u32(file, 30, layout.compression);
    put_u32(file, 38, 2835);
    put_u32(file, 42, 2835);
    for (int row = 0; row < height; ++row) {
        const int y = layout.top_down ? row : height - 1 - row;
        std::size_t at = pixels_at + row * stride;
        for (int x = 0; x < width; ++x) {
            file[at++] = pixels[y][x].b;
            file[at++] = pixels[y][x].g;
            file[at++] = pixels[y][x].r;
        }
    }
    return file;
}

std::vector<std::vector<bgr>> pattern_picture(int width, int height)
{
    std::vector<std::vector<bgr>> pixels(height, std::vector<bgr>(width));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y][x] = {static_cast<std::uint8_t>(7 * x + 3 * y + 1), static_cast<std::uint8_t>(11 * x + 29 * y + 2),
                            static_cast<std::uint8_t>(200 - 5 * x - 13 * y)};
    return pixels;
}

bytes build_bmp(const bmp_build& build)
{
    // Room for the info size field even when the header claims less.
    bytes file(std::max<std::size_t>(14 + build.info_size, 18), 0);
    file[0] = 'B';
    file[1] = 'M';
    put_u32(file, 14, build.info_size);
    if (build.info_size == 12) {
        put_u16(file, 18, static_cast<std::uint16_t>(build.width));
        put_u16(file, 20, static_cast<std::uint16_t>(build.height));
        put_u16(file, 22, build.planes);
        put_u16(file, 24, build.bits);
    } else if (build.info_size >= 16) {
        put_u32(file, 18, static_cast<std::uint32_t>(build.width));
        put_u32(file, 22, static_cast<std::uint32_t>(build.height));
        put_u16(file, 26, build.planes);
        put_u16(file, 28, build.bits);
    }
    if (build.info_size >= 40) {
        put_u32(file, 30, build.compression);
        put_u32(file, 34, static_cast<std::uint32_t>(build.pixels.size()));
        put_u32(file, 38, 2835);
        put_u32(file, 42, 2835);
        put_u32(file, 46, build.colours_used);
    }
    if (!build.masks.empty())
        file.resize(std::max(file.size(), 54 + 4 * build.masks.size()));
    for (std::size_t i = 0; i < build.masks.size(); ++i)
        put_u32(file, 54 + 4 * i, build.masks[i]);
    for (const bgr& entry : build.palette) {
        file.insert(file.end(), {entry.b, entry.g, entry.r});
        if (build.info_size != 12)
            file.push_back(0);
    }
    const std::size_t offset = build.pixel_offset < 0 ? file.size() : static_cast<std::size_t>(build.pixel_offset);
    file.resize(std::max(file.size(), offset));
    file.insert(file.end(), build.pixels.begin(), build.pixels.end());
    put_u32(file, 10, static_cast<std::uint32_t>(offset));
    put_u32(file, 2, static_cast<std::uint32_t>(build.stored_size < 0 ? file.size() : build.stored_size));
    return file;
}

bytes pack_rows(const std::vector<std::vector<std::uint32_t>>& values, int bits, bool top_down)
{
    const std::size_t height = values.size();
    const std::size_t width = values[0].size();
    const std::size_t stride = (width * bits + 31) / 32 * 4;
    bytes rows(height * stride, 0);
    for (std::size_t row = 0; row < height; ++row) {
        const std::size_t y = top_down ? row : height - 1 - row;
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t value = values[y][x];
            if (bits < 8) {
                const std::size_t bit = x * bits;
                rows[row * stride + bit / 8] |= static_cast<std::uint8_t>(value << (8 - bits - bit % 8));
            } else {
                for (int k = 0; k < bits / 8; ++k)
                    rows[row * stride + x * bits / 8 + k] = static_cast<std::uint8_t>(value >> (8 * k));
            }
        }
    }
    return rows;
}

namespace {

using grid = std::vector<std::vector<std::uint32_t>>;
using picture = std::vector<std::vector<bgr>>;

// Distinct colours, none of them black, so that a wrong entry shows.
std::vector<bgr> test_palette(int entries)
{
    std::vector<bgr> table;
    for (int i = 0; i < entries; ++i)
        table.push_back({static_cast<std::uint8_t>(17 * i + 3), static_cast<std::uint8_t>(250 - 9 * i),
                         static_cast<std::uint8_t>(91 * i + 40)});
    return table;
}

grid index_grid(int width, int height, int colours)
{
    grid values(height, std::vector<std::uint32_t>(width));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            values[y][x] = static_cast<std::uint32_t>((3 * x + 5 * y + x * y) % colours);
    return values;
}

// Values with every bit position busy, for the bit-field pictures.
grid value_grid(int width, int height, int bits)
{
    grid values(height, std::vector<std::uint32_t>(width));
    std::uint32_t state = 0x9E3779B9u;
    for (auto& row : values)
        for (auto& value : row) {
            state = state * 1664525u + 1013904223u;
            value = bits == 32 ? state : state >> 16;
        }
    return values;
}

picture look_up(const grid& indices, const std::vector<bgr>& table)
{
    picture pixels(indices.size(), std::vector<bgr>(indices[0].size()));
    for (std::size_t y = 0; y < indices.size(); ++y)
        for (std::size_t x = 0; x < indices[y].size(); ++x)
            pixels[y][x] = table[indices[y][x]];
    return pixels;
}

// round(v * 255 / (2^b - 1)) for the field under mask, in long double.
std::uint8_t field_level(std::uint32_t value, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    int width = 0;
    while (shift + width < 32 && ((mask >> (shift + width)) & 1))
        ++width;
    const long double top = std::ldexp(1.0L, width) - 1;
    const long double field = static_cast<long double>((value & mask) >> shift);
    return static_cast<std::uint8_t>(std::lround(field * 255 / top));
}

picture through_masks(const grid& values, const std::uint32_t masks[3])
{
    picture pixels(values.size(), std::vector<bgr>(values[0].size()));
    for (std::size_t y = 0; y < values.size(); ++y)
        for (std::size_t x = 0; x < values[y].size(); ++x) {
            const std::uint32_t v = values[y][x];
            pixels[y][x] = {field_level(v, masks[2]), field_level(v, masks[1]), field_level(v, masks[0])};
        }
    return pixels;
}

struct palette_case {
    const char* name;
    std::uint32_t info_size;
    int bits;
    int width, height;
    int colours;       // entries written and used by the pixels
    std::uint32_t colours_used;
    bool top_down;
    int gap;           // bytes between the table and the pixels
};

bmp_variant palette_variant(const palette_case& c)
{
    const grid indices = index_grid(c.width, c.height, c.colours);
    const std::vector<bgr> table = test_palette(c.colours);
    bmp_build build;
    build.info_size = c.info_size;
    build.width = c.width;
    build.height = c.top_down ? -c.height : c.height;
    build.bits = static_cast<std::uint16_t>(c.bits);
    build.colours_used = c.colours_used;
    build.palette = table;
    build.pixels = pack_rows(indices, c.bits, c.top_down);
    if (c.gap)
        build.pixel_offset = static_cast<std::int64_t>(build_bmp(build).size() - build.pixels.size()) + c.gap;
    return {c.name, build_bmp(build), look_up(indices, table)};
}

struct field_case {
    const char* name;
    std::uint32_t info_size;
    int bits;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;  // none: the plain masks
};

bmp_variant field_variant(const field_case& c)
{
    const int width = 5, height = 3;
    const grid values = value_grid(width, height, c.bits);
    const std::uint32_t plain16[3] = {0x7C00, 0x03E0, 0x001F};
    const std::uint32_t plain32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    const std::uint32_t* masks = c.masks.empty() ? (c.bits == 16 ? plain16 : plain32) : c.masks.data();
    bmp_build build;
    build.info_size = c.info_size;
    build.width = width;
    build.height = height;
    build.bits = static_cast<std::uint16_t>(c.bits);
    build.compression = c.compression;
    build.masks = c.masks;
    build.pixels = pack_rows(values, c.bits);
    return {c.name, build_bmp(build), through_masks(values, masks)};
}

bmp_variant direct_variant(const char* name, std::uint32_t info_size, int table_entries)
{
    const picture pixels = pattern_picture(4, 3);
    grid values(3, std::vector<std::uint32_t>(4));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            values[y][x] = pixels[y][x].b | pixels[y][x].g << 8 | pixels[y][x].r << 16;
    bmp_build build;
    build.info_size = info_size;
    build.width = 4;
    build.height = 3;
    build.colours_used = static_cast<std::uint32_t>(table_entries);
    build.palette = test_palette(table_entries);
    build.pixels = pack_rows(values, 24);
    return {name, build_bmp(build), pixels};
}

// A run-length picture: its codes and the indices it leaves (-1: black).
bmp_variant rle_variant(const char* name, int bits, int width, const std::vector<std::vector<int>>& shown,
                        const bytes& codes)
{
    const std::vector<bgr> table = test_palette(bits == 8 ? 20 : 16);
    bmp_build build;
    build.width = width;
    build.height = static_cast<std::int32_t>(shown.size());
    build.bits = static_cast<std::uint16_t>(bits);
    build.compression = bits == 8 ? 1 : 2;
    build.palette = table;
    build.pixels = codes;
    picture pixels(shown.size(), std::vector<bgr>(width));
    for (std::size_t y = 0; y < shown.size(); ++y)
        for (int x = 0; x < width; ++x)
            pixels[y][x] = shown[y][x] < 0 ? bgr{0, 0, 0} : table[shown[y][x]];
    return {name, build_bmp(build), pixels};
}

}  // namespace

std::vector<bmp_variant> bmp_variants()
{
    std::vector<bmp_variant> all;
    const palette_case palettes[] = {
        {"1 bit", 40, 1, 10, 3, 2, 2, false, 0},
        {"1 bit, 12-byte header", 12, 1, 9, 2, 2, 0, false, 0},
        {"2 bits", 40, 2, 7, 3, 4, 0, false, 0},
        {"4 bits", 40, 4, 5, 3, 16, 0, false, 0},
        {"4 bits, 3 colours used", 40, 4, 5, 3, 3, 3, false, 0},
        {"8 bits, full table", 40, 8, 5, 3, 256, 0, false, 0},
        {"8 bits, 5 colours used", 40, 8, 5, 3, 5, 5, false, 0},
        {"8 bits, table cut short by the offset", 40, 8, 5, 3, 6, 0, false, 0},
        {"8 bits, more colours used than 2^8", 40, 8, 6, 2, 256, 300, false, 0},
        {"8 bits, 12-byte header", 12, 8, 5, 3, 256, 0, false, 0},
        {"8 bits, 16-byte header", 16, 8, 5, 3, 256, 0, false, 0},
        {"8 bits, 52-byte header", 52, 8, 5, 3, 7, 7, false, 0},
        {"8 bits, 56-byte header", 56, 8, 5, 3, 7, 7, false, 0},
        {"8 bits, 64-byte header", 64, 8, 5, 3, 7, 7, false, 0},
        {"8 bits, 108-byte header", 108, 8, 5, 3, 7, 7, false, 0},
        {"8 bits, 124-byte header", 124, 8, 5, 3, 7, 7, false, 0},
        {"8 bits, top down", 40, 8, 5, 3, 9, 9, true, 0},
        {"8 bits, gap before the pixels", 40, 8, 5, 3, 9, 9, false, 10},
    };
    for (const palette_case& c : palettes)
        all.push_back(palette_variant(c));

    const field_case fields[] = {
        {"16 bits, plain 5-5-5", 40, 16, 0, {}},
        {"16 bits, 5-6-5 bit fields after the header", 40, 16, 3, {0xF800, 0x07E0, 0x001F}},
        {"16 bits, odd and zero masks", 40, 16, 3, {0x000F, 0x3FF0, 0}},
        {"16 bits, alpha bit fields in a 56-byte header", 56, 16, 6, {0x0F00, 0x00F0, 0x000F, 0xF000}},
        {"16 bits, plain, 64-byte header", 64, 16, 0, {}},
        {"32 bits, plain", 40, 32, 0, {}},
        {"32 bits, bit fields in reverse order", 40, 32, 3, {0x0000FF, 0x00FF00, 0xFF0000}},
        {"32 bits, 10-10-10 in a 108-byte header", 108, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF}},
        {"32 bits, alpha bit fields in a 124-byte header", 124, 32, 6, {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000}},
        {"32 bits, alpha bit fields after a 40-byte header", 40, 32, 6, {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000}},
        {"32 bits, 1-bit and 32-bit fields in a 52-byte header", 52, 32, 3, {0x80000000, 0, 0x1}},
        {"32 bits, one 32-bit field", 40, 32, 3, {0xFFFFFFFF, 0, 0}},
    };
    for (const field_case& c : fields)
        all.push_back(field_variant(c));

    all.push_back(direct_variant("24 bits, 12-byte header", 12, 0));
    all.push_back(direct_variant("24 bits, 16-byte header", 16, 0));
    all.push_back(direct_variant("24 bits, 52-byte header", 52, 0));
    all.push_back(direct_variant("24 bits, 56-byte header", 56, 0));
    all.push_back(direct_variant("24 bits, 64-byte header", 64, 0));
    all.push_back(direct_variant("24 bits with an unused colour table", 40, 3));

    // Rows are coded bottom first: the last row of shown comes first.
    all.push_back(rle_variant("8-bit run-length coding, every escape", 8, 6,
                              {{-1, -1, -1, -1, 7, 7},
                               {1, 2, 3, 4, -1, -1},
                               {-1, -1, 5, 5, -1, -1},
                               {0, 0, 0, 12, 13, 14}},
                              {3, 0, 0, 3, 12, 13, 14, 0, 0, 0,   // run, odd absolute run and its pad, end of line
                               0, 2, 2, 0, 2, 5, 0, 0,            // move right by 2, run, end of line
                               0, 4, 1, 2, 3, 4, 0, 2, 0, 1,      // even absolute run, move up one row
                               2, 7, 0, 1}));                     // run, end of picture
    all.push_back(rle_variant("4-bit run-length coding, every escape", 4, 7,
                              {{10, 11, 12, 13, 14, 15, 0},
                               {-1, -1, -1, 6, 7, 8, 9},
                               {1, 2, 1, 2, 3, 4, 5}},
                              {4, 0x12, 0, 3, 0x34, 0x50, 0, 0,            // alternating run, odd absolute run
                               0, 2, 3, 0, 0, 4, 0x67, 0x89, 0, 0,         // move right, even absolute run
                               0, 5, 0xAB, 0xCD, 0xE0, 0, 2, 0xF0, 0, 1}));  // absolute run with pad, run
    all.push_back(rle_variant("8-bit run-length coding without an end of picture", 8, 3,
                              {{-1, -1, -1}, {-1, -1, -1}, {4, 4, 4}}, {3, 4, 0, 0}));
    return all;
}

void write_file(const std::string& path, const bytes& content)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path)
{
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

std::vector<std::string> folder_entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string make_scratch_dir()
{
    std::string name = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    if (!mkdtemp(name.data()))
        std::abort();
    return name;
}

void remove_tree(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

namespace {

std::string read_and_remove(const std::string& path)
{
    const bytes content = read_file(path);
    std::remove(path.c_str());
    return std::string(content.begin(), content.end());
}

void limit(int resource, long value)
{
    if (value <= 0)
        return;
    rlimit bound{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
    setrlimit(resource, &bound);
}

}  // namespace

namespace {

// Takes the unprivileged user's ids, dropping every supplementary group.
bool become_unprivileged()
{
    if (geteuid() != 0)
        return true;  // permission checks already apply
    return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

void append_variable(const char* name, const char* value)
{
    const char* old = std::getenv(name);
    const std::string joined = std::string(old ? old : "") + (old ? ":" : "") + value;
    setenv(name, joined.c_str(), 1);
}

void preload(const char* library)
{
    append_variable("LD_PRELOAD", library);
    // The sanitizers' runtime wants to come first; the preloaded library
    // comes before it, which is harmless here.
    append_variable("ASAN_OPTIONS", "verify_asan_link_order=0");
}

}  // namespace

// Starts the tool with its streams captured; input_fd, when not negative,
// becomes its standard input, and feed_fd (the pipe's other end) is closed
// in the tool.
static tool_process start_child(const std::vector<std::string>& args, const std::string& cwd, const tool_limits& limits,
                         int input_fd, int feed_fd)
{
    // The captures live outside cwd, so that a test can list cwd afterwards.
    tool_process process;
    process.out_path = (std::filesystem::temp_directory_path() / "velmora-out-XXXXXX").string();
    process.err_path = (std::filesystem::temp_directory_path() / "velmora-err-XXXXXX").string();
    const int out = mkstemp(process.out_path.data());
    const int err = mkstemp(process.err_path.data());
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (out < 0 || err < 0 || chdir(cwd.c_str()) != 0)
            _exit(tool_not_started);
        dup2(out, 1);
        dup2(err, 2);
        if (input_fd >= 0) {
            dup2(input_fd, 0);
            close(input_fd);
            close(feed_fd);
        }
        for (int fd = 0; fd <= 2; ++fd)
            if (limits.closed_streams & (1u << fd))
                close(fd);
        for (int signal_number : {SIGXFSZ, SIGINT, SIGTERM, SIGHUP})
            signal(signal_number, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        limit(RLIMIT_AS, limits.address_space);
        limit(RLIMIT_FSIZE, limits.file_size);
        limit(RLIMIT_STACK, limits.stack);
        if (limits.umask >= 0)
            umask(static_cast<mode_t>(limits.umask));
        if (limits.no_unnamed_files)
            preload(VELMORA_NO_UNNAMED_FILES);
        if (limits.fixed_names)
            preload(VELMORA_FIXED_NAMES);
        if (limits.signal_at) {
            preload(VELMORA_SIGNAL_AT_COMMIT);
            setenv("VELMORA_SIGNAL_AT", limits.signal_at, 1);
        }
        if (limits.unprivileged && !become_unprivileged())
            _exit(tool_not_started);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(VELMORA_EXE));
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(VELMORA_EXE, argv.data());
        _exit(127);
    }
    close(out);
    close(err);
    process.pid = child;
    return process;
}

tool_process start_tool(const std::vector<std::string>& args, const std::string& cwd, const tool_limits& limits)
{
    return start_child(args, cwd, limits, -1, -1);
}

bool wait_for_output(const tool_process& process, const std::string& text)
{
    // A minute at most, so that a hung tool fails the test instead of the run.
    for (int waited_ms = 0; waited_ms < 60000; ++waited_ms) {
        const bytes out = read_file(process.out_path);
        if (std::string(out.begin(), out.end()).find(text) != std::string::npos)
            return true;
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(process.pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0)
            return false;  // ended (or gone) without it
        usleep(1000);
    }
    return false;
}

tool_result finish_tool(const tool_process& process)
{
    int wait_status = 0;
    rusage usage{};
    wait4(process.pid, &wait_status, 0, &usage);
    tool_result result;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    result.peak_kib = usage.ru_maxrss;
    result.out = read_and_remove(process.out_path);
    result.err = read_and_remove(process.err_path);
    return result;
}

tool_result run_tool(const std::vector<std::string>& args, const std::string& cwd, const tool_limits& limits)
{
    return finish_tool(start_tool(args, cwd, limits));
}

tool_result run_tool_fed(const std::vector<std::string>& args, const std::string& cwd, const bytes& input)
{
    int ends[2];
    if (pipe(ends) != 0)
        std::abort();
    const tool_process process = start_child(args, cwd, tool_limits{}, ends[0], ends[1]);
    close(ends[0]);
    // The tool may stop reading early; a refused write then just ends the feed.
    const auto previous = signal(SIGPIPE, SIG_IGN);
    std::size_t sent = 0;
    while (sent < input.size()) {
        const ssize_t n = write(ends[1], input.data() + sent, input.size() - sent);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    close(ends[1]);
    signal(SIGPIPE, previous);
    return finish_tool(process);}

std::vector<long double> exact_line(const std::vector<long double>& x, int n_out)
{
    const int n = static_cast<int>(x.size());
    const int kept = std::min(n, n_out);
    const long double pi = std::numbers::pi_v<long double>;
    std::vector<long double> C(kept), y(n_out);
    for (int k = 0; k < kept; ++k) {
        for (int j = 0; j < n; ++j)
            C[k] += x[j] * std::cos(pi * k * (2 * j + 1) / (2 * n));
        C[k] /= n;
    }
    for (int s = 0; s < n_out; ++s) {
        y[s] = C[0];
        for (int k = 1; k < kept; ++k)
            y[s] += 2 * C[k] * std::cos(pi * k * (2.0L * s * n / n_out + 1) / (2 * n));
    }
    return y;
}

std::vector<double> random_doubles(std::size_t count, unsigned seed)
{
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(count);
    for (double& v : x)
        v = dist(gen);
    return x;
}
