#include "fft/fft_lanes.h"

#include "fft/fft_lanes_entries.h"

namespace velmora::detail {

namespace {

// Whether the CPU runs a vector set; the compiler's feature probe also checks
// that the operating system saves the wider registers.
bool cpu_has(lane_path path)
{
#ifdef VELMORA_LANE_ISAS
    __builtin_cpu_init();
    switch (path) {
    case lane_path::scalar:
        return true;
    case lane_path::sse2:
        return __builtin_cpu_supports("sse2");
    case lane_path::avx2:
        return __builtin_cpu_supports("avx2");
    case lane_path::avx512:
        return __builtin_cpu_supports("avx512f");
    }
    return false;
#else
    return path == lane_path::scalar;
#endif
}

constexpr lane_builds<fft_lanes_entry> transforms = VELMORA_LANE_BUILDS(fft_lanes_transform);

void transform(int sign, lane_path path, std::int32_t points, double* a, const fft_tables& tables,
               const stop_poll* poll)
{
    lane_build(transforms, path)(sign, 2 * points, a, tables.ip.get(), tables.table_size, tables.ww.get(), poll);
}

}  // namespace

int lane_width(lane_path path)
{
    switch (path) {
    case lane_path::scalar:
        return 1;
    case lane_path::sse2:
        return 2;
    case lane_path::avx2:
        return 4;
    case lane_path::avx512:
        return 8;
    }
    return 1;
}

bool lane_path_supported(lane_path path)
{
    return cpu_has(path);
}

lane_path lane_path_best()
{
    static const lane_path widest_first[] = {lane_path::avx512, lane_path::avx2, lane_path::sse2};
    static const lane_path best = [] {
        for (lane_path path : widest_first) {
            if (cpu_has(path)) {
                return path;
            }
        }
        return lane_path::scalar;
    }();
    return best;
}

void fft_forward_lanes(lane_path path, std::int32_t points, double* a, const fft_tables& tables,
                       const stop_poll* poll)
{
    transform(-1, path, points, a, tables, poll);
}

void fft_backward_lanes(lane_path path, std::int32_t points, double* a, const fft_tables& tables,
                        const stop_poll* poll)
{
    transform(1, path, points, a, tables, poll);
}

}  // namespace velmora::detail
