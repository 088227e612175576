// Picking the build of a lane kernel entry for a path: the one dispatch
// idiom of fft/ and dft/.
//
// A kernel source built by velmora_add_lane_variants defines each of its
// entries once per build (fft/lane_double.h): name_scalar everywhere, and
// name_sse2, name_avx2 and name_avx512 where the target has
// VELMORA_LANE_ISAS. The source that dispatches declares an entry with
// VELMORA_LANE_DECLARE(type, name), type being the entry's function type,
// lists its builds once with VELMORA_LANE_BUILDS(name), and calls
// lane_build(builds, path)(...) for a path that lane_path_supported accepts.
// Internal to fft/ and dft/; callers see only lane_path.
#pragma once

#include "fft/fft_lanes.h"

namespace velmora::detail {

template <typename Entry>
struct lane_builds {
    Entry* by_path[4];  // indexed by lane_path; null where not built
};

template <typename Entry>
Entry* lane_build(const lane_builds<Entry>& builds, lane_path path)
{
    return builds.by_path[static_cast<int>(path)];
}

#define VELMORA_LANE_DECLARE(type, name) type name##_scalar, name##_sse2, name##_avx2, name##_avx512

#ifdef VELMORA_LANE_ISAS
#define VELMORA_LANE_BUILDS(name) \
    lane_builds<decltype(name##_scalar)>{{name##_scalar, name##_sse2, name##_avx2, name##_avx512}}
#else
#define VELMORA_LANE_BUILDS(name) lane_builds<decltype(name##_scalar)>{{name##_scalar, nullptr, nullptr, nullptr}}
#endif

}  // namespace velmora::detail
