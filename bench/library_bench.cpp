// The library in memory next to the command line on the same picture, in
// one run, the two taking turns.
//
//   library_bench PATH/TO/velmora [RUNS]
//
// Cases: uint8 1024 x 768 x 3 -> 4096 x 3072 x 3 on 1 and 2 threads, beside
// the command line resizing the same picture as a BMP file (whose time
// includes reading and writing the files), and float32 2048 x 2048 ->
// 4096 x 4096 on 1 and 2 threads, and uint8 3072 x 2304 x 3 ->
// 6144 x 4608 x 3 on a kept plan on 1 and 2 threads (the tool's scaling
// case, without its files). Each library call goes into an output
// array the caller already has (made and touched once, outside the
// timing), either as velmora::resize(), which makes and frees a plan (its
// threads, tables and work arrays) every time, or as velmora::run() on a
// plan kept from call to call, as a program that resizes many arrays of
// one size would.
// Figures are medians; ratios are medians of the runs' ratios.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <velmora/velmora.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A picture with smooth areas and edges, row-major H x W x 3.
std::vector<std::uint8_t> make_picture(int width, int height)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double v = 120 + 90 * std::sin(0.013 * x * (c + 1) + 0.021 * y) + ((x / 37 + y / 29) % 2) * 30;
                rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
            }
    return rgb;
}

void write_bmp(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height)
{
    const int stride = (3 * width + 3) / 4 * 4;
    std::vector<std::uint8_t> file(54 + static_cast<std::size_t>(stride) * height, 0);
    auto put = [&](int at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    file[0] = 'B', file[1] = 'M';
    put(2, static_cast<std::uint32_t>(file.size()), 4);
    put(10, 54, 4), put(14, 40, 4), put(18, width, 4), put(22, height, 4), put(26, 1, 2), put(28, 24, 2);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                file[54 + static_cast<std::size_t>(height - 1 - y) * stride + 3 * x + c] =
                    rgb[(static_cast<std::size_t>(y) * width + x) * 3 + 2 - c];
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "library_bench: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

double time_tool(const std::string& tool, const std::string& in, const std::string& out, int dw, int dh,
                 int threads)
{
    const std::string w = std::to_string(dw), h = std::to_string(dh), t = std::to_string(threads);
    const char* argv[] = {tool.c_str(), "-i", in.c_str(), "-o", out.c_str(), "-sizexminus", w.c_str(),
                          "-sizexminusy", h.c_str(), "-threads", t.c_str(), nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, tool.c_str(), &quiet, nullptr, const_cast<char**>(argv), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "library_bench: %s failed\n", tool.c_str());
        std::exit(1);
    }
    const double taken = seconds_since(start);
    posix_spawn_file_actions_destroy(&quiet);
    return taken;
}

double time_library(const velmora::array_view& in, const velmora::array_view& out, int threads,
                    velmora::plan* kept = nullptr)
{
    const auto start = std::chrono::steady_clock::now();
    velmora::settings how;
    how.threads = threads;
    const velmora::result done = kept ? velmora::run(*kept, in, out) : velmora::resize(in, out, how);
    const double taken = seconds_since(start);
    if (!done) {
        std::fprintf(stderr, "library_bench: %s\n", done.message);
        std::exit(1);
    }
    return taken;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: library_bench PATH/TO/velmora [RUNS]\n");
        return 2;
    }
    const std::string tool = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    char folder[] = "/tmp/velmora-bench-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string in_bmp = std::string(folder) + "/in.bmp", out_base = std::string(folder) + "/out";

    std::vector<std::uint8_t> picture = make_picture(1024, 768);
    write_bmp(in_bmp, picture, 1024, 768);
    const auto picture_view = velmora::contiguous_view(picture.data(), velmora::sample_type::uint8, {768, 1024, 3});
    std::vector<std::uint8_t> bigger(4096 * 3072 * 3, 0);
    const auto bigger_view = velmora::contiguous_view(bigger.data(), velmora::sample_type::uint8, {3072, 4096, 3});
    std::printf("%-40s %7s %11s %11s %14s %7s %7s\n", "case", "threads", "resize() s", "run() s", "command line s",
                "ratio", "ratio");
    for (int threads : {1, 2}) {
        velmora::plan kept;
        velmora::settings how;
        how.threads = threads;
        if (!velmora::make_plan(&kept, picture_view, bigger_view, how))
            return 1;
        std::vector<double> lib, planned, cli, ratio, planned_ratio;
        for (int r = 0; r < runs; ++r) {
            lib.push_back(time_library(picture_view, bigger_view, threads));
            planned.push_back(time_library(picture_view, bigger_view, threads, &kept));
            cli.push_back(time_tool(tool, in_bmp, out_base, 3072, 2304, threads));
            ratio.push_back(lib.back() / cli.back());
            planned_ratio.push_back(planned.back() / cli.back());
        }
        std::printf("%-40s %7d %11.3f %11.3f %14.3f %7.2f %7.2f\n", "uint8 1024x768x3 -> 4096x3072x3", threads,
                    median(lib), median(planned), median(cli), median(ratio), median(planned_ratio));
    }

    std::vector<float> field(2048 * 2048);
    for (std::size_t i = 0; i < field.size(); ++i)
        field[i] = static_cast<float>(std::sin(0.001 * static_cast<double>(i % 2048) * static_cast<double>(i / 2048)));
    const auto field_view = velmora::contiguous_view(field.data(), velmora::sample_type::float32, {2048, 2048});
    std::vector<float> wider(4096 * 4096, 0.0f);
    const auto wider_view = velmora::contiguous_view(wider.data(), velmora::sample_type::float32, {4096, 4096});
    velmora::plan kept[2];
    for (int t = 0; t < 2; ++t) {
        velmora::settings how;
        how.threads = t + 1;
        if (!velmora::make_plan(&kept[t], field_view, wider_view, how))
            return 1;
    }
    std::vector<double> one, two, speedup, one_kept, two_kept, speedup_kept;
    for (int r = 0; r < runs; ++r) {
        one.push_back(time_library(field_view, wider_view, 1));
        two.push_back(time_library(field_view, wider_view, 2));
        speedup.push_back(one.back() / two.back());
        one_kept.push_back(time_library(field_view, wider_view, 1, &kept[0]));
        two_kept.push_back(time_library(field_view, wider_view, 2, &kept[1]));
        speedup_kept.push_back(one_kept.back() / two_kept.back());
    }
    std::printf("%-40s %7d %11.3f %11.3f\n", "float32 2048x2048 -> 4096x4096", 1, median(one), median(one_kept));
    std::printf("%-40s %7d %11.3f %11.3f   2 threads: %.2fx (resize), %.2fx (run) as fast as 1\n",
                "float32 2048x2048 -> 4096x4096", 2, median(two), median(two_kept), median(speedup),
                median(speedup_kept));

    // Only the kept plan: the resize itself, the part of a run that the
    // threads share from the start.
    std::vector<std::uint8_t> large = make_picture(3072, 2304);
    const auto large_view = velmora::contiguous_view(large.data(), velmora::sample_type::uint8, {2304, 3072, 3});
    std::vector<std::uint8_t> larger(std::size_t{6144} * 4608 * 3, 0);
    const auto larger_view = velmora::contiguous_view(larger.data(), velmora::sample_type::uint8, {4608, 6144, 3});
    velmora::plan large_kept[2];
    for (int t = 0; t < 2; ++t) {
        velmora::settings how;
        how.threads = t + 1;
        if (!velmora::make_plan(&large_kept[t], large_view, larger_view, how))
            return 1;
    }
    std::vector<double> large_one, large_two, large_speedup;
    for (int r = 0; r < runs; ++r) {
        large_one.push_back(time_library(large_view, larger_view, 1, &large_kept[0]));
        large_two.push_back(time_library(large_view, larger_view, 2, &large_kept[1]));
        large_speedup.push_back(large_one.back() / large_two.back());
    }
    std::printf("%-40s %7d %11s %11.3f\n", "uint8 3072x2304x3 -> 6144x4608x3", 1, "-", median(large_one));
    std::printf("%-40s %7d %11s %11.3f   2 threads: %.2fx (run) as fast as 1\n", "uint8 3072x2304x3 -> 6144x4608x3",
                2, "-", median(large_two), median(large_speedup));
    std::remove(in_bmp.c_str());
    std::remove((out_base + ".bmp").c_str());
    rmdir(folder);
    return 0;
}
