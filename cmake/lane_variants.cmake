# Per-instruction-set builds of one kernel source, chosen at run time.
#
# velmora_add_lane_variants(target source) compiles `source` into `target`
# once for the scalar path and once for each x86-64 vector set:
#   scalar  VELMORA_LANE_WIDTH=1  (every build; the ordinary flags)
#   sse2    VELMORA_LANE_WIDTH=2  (every x86-64 has it; no extra flags)
#   avx2    VELMORA_LANE_WIDTH=4  -mavx2
#   avx512  VELMORA_LANE_WIDTH=8  -mavx512f
# with VELMORA_LANE_ISA set to the name on the left. Only these objects get
# the wider flags; the rest of the program stays on the baseline, so the
# binary runs on any x86-64 and a caller picks a build from the CPU's
# features (fft/lane_dispatch.h). The source includes fft/lane_double.h for
# its element type and entry names.
#
# The object libraries are listed in the target's property
# VELMORA_LANE_OBJECTS, for a library that gathers the target's objects.
#
# Elsewhere (another processor, or a compiler without GCC's vector
# extensions) only the scalar build is added. Where the vector builds are
# added, the target gets the private definition VELMORA_LANE_ISAS, which
# tells the dispatching code that their entries exist.
function(velmora_add_lane_variants target source)
  set(vector_sets OFF)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$"
     AND CMAKE_SIZEOF_VOID_P EQUAL 8
     AND CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$")
    set(vector_sets ON)
  endif()
  get_filename_component(path "${source}" ABSOLUTE)
  get_filename_component(stem "${source}" NAME_WE)
  foreach(variant "scalar;1;" "sse2;2;" "avx2;4;-mavx2" "avx512;8;-mavx512f")
    list(GET variant 0 isa)
    list(GET variant 1 width)
    list(GET variant 2 flags)
    if(NOT isa STREQUAL "scalar" AND NOT vector_sets)
      continue()
    endif()
    set(objects ${target}_${stem}_${isa})
    add_library(${objects} OBJECT "${path}")
    target_compile_definitions(${objects} PRIVATE VELMORA_LANE_WIDTH=${width} VELMORA_LANE_ISA=${isa})
    # The target's include folders and options (its layer's, the numerics
    # flags), then the instruction set's.
    target_include_directories(${objects} PRIVATE $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
    target_compile_options(${objects} PRIVATE $<TARGET_PROPERTY:${target},COMPILE_OPTIONS> ${flags})
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:${objects}>)
    set_property(TARGET ${target} APPEND PROPERTY VELMORA_LANE_OBJECTS ${objects})
  endforeach()
  if(vector_sets)
    target_compile_definitions(${target} PRIVATE VELMORA_LANE_ISAS)
  endif()
endfunction()
