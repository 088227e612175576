#include "test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef VELMORA_EXE
#error "VELMORA_EXE must name the built binary"
#endif
#ifndef VELMORA_NO_UNNAMED_FILES
#error "VELMORA_NO_UNNAMED_FILES must name the library that refuses O_TMPFILE"
#endif

const char* const usage_text =
    "Usage: VELMORA [options]\n"
    "\toptions: \n"
    "\t  -help          : help message display\n"
    "\t  -i             : input bitmap file name (any common BMP variant)\n"
    "\t  -o             : output bitmap file name (auto add .bmp extension)\n"
    "\t  -sizexminus    : difference between input horizontal picture size and output one \n"
    "\t  -sizexminusy   : difference between input vertical picture size and output one\n"
    "\t  -threads       : number of threads (default: every CPU the process may use)\n";

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

void refuse_unnamed_files()
{
    setenv("LD_PRELOAD", VELMORA_NO_UNNAMED_FILES, 1);
    // The sanitizers' runtime wants to come first; the preloaded library
    // comes before it, which is harmless here.
    const char* options = std::getenv("ASAN_OPTIONS");
    const std::string joined = std::string(options ? options : "") + (options ? ":" : "") + "verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", joined.c_str(), 1);
}

}  // namespace

tool_process start_tool(const std::vector<std::string>& args, const std::string& cwd, const tool_limits& limits)
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
        for (int signal_number : {SIGXFSZ, SIGINT, SIGTERM, SIGHUP})
            signal(signal_number, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        limit(RLIMIT_AS, limits.address_space);
        limit(RLIMIT_FSIZE, limits.file_size);
        if (limits.umask >= 0)
            umask(static_cast<mode_t>(limits.umask));
        if (limits.no_unnamed_files)
            refuse_unnamed_files();
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
    waitpid(process.pid, &wait_status, 0);
    tool_result result;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    result.out = read_and_remove(process.out_path);
    result.err = read_and_remove(process.err_path);
    return result;
}

tool_result run_tool(const std::vector<std::string>& args, const std::string& cwd, const tool_limits& limits)
{
    return finish_tool(start_tool(args, cwd, limits));
}
