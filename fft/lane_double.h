// The element type and entry names of a lane kernel.
//
// Only sources built through velmora_add_lane_variants
// (cmake/lane_variants.cmake) include this header. Each such source is
// compiled once per path, with VELMORA_LANE_WIDTH doubles per element (1
// for the scalar path, 2, 4 or 8 for the vector sets) and VELMORA_LANE_ISA
// naming the path (scalar, sse2, avx2, avx512), and with that set's
// code-generation flags.
//
// Lane layout: a batch of W lines of the same length is stored so that
// double i of line j is at a[i*W + j]; as an array of lane_double, element i
// holds double i of every line. Code written for one line of doubles, with
// the data typed lane_double and every other value left a plain double,
// runs each line in its own lane with the same operations in the same
// order: one-line results, bit for bit, W lines per instruction. With W = 1
// lane_double is double and the code is the one-line code itself.
//
// Rules for such a source, since its code is built with instructions that
// the running CPU may lack: everything stays in an anonymous namespace except
// the entries, whose names VELMORA_LANE_ENTRY(name) suffixes with the path
// (fft_lanes_transform_avx2), and it instantiates no std:: templates, whose
// out-of-line copies the linker could otherwise pick for ordinary code.
// Entries take plain values and pointers only.
#pragma once

namespace velmora::detail {

#if !defined(VELMORA_LANE_WIDTH) || !defined(VELMORA_LANE_ISA)
#error "lane kernels are built through velmora_add_lane_variants"
#endif

namespace {

#if VELMORA_LANE_WIDTH == 1
typedef double lane_double;
#else
// may_alias: the caller's arrays are arrays of double.
typedef double lane_double __attribute__((vector_size(8 * VELMORA_LANE_WIDTH), may_alias));
#endif

}  // namespace

#define VELMORA_LANE_JOIN2(name, isa) name##_##isa
#define VELMORA_LANE_JOIN(name, isa) VELMORA_LANE_JOIN2(name, isa)
#define VELMORA_LANE_ENTRY(name) VELMORA_LANE_JOIN(name, VELMORA_LANE_ISA)

}  // namespace velmora::detail
