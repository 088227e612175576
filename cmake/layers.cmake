# The flags every target of the project is built with, and the layers: each
# folder a target that sees only the folders it may include.
#
# Sources include each other root-relative ("fft/fft_tables.h"), so the
# project's root on an include path would open every folder to everyone.
# Instead each target gets include folders of its own in the build tree,
# build/layers/<target>/<scope>/, holding symbolic links to just the source
# folders (or the single headers) it may use, PUBLIC for what its users may
# include too, PRIVATE for itself. An include across the layers outside the
# allowed graph then fails to build:
#
#   fft -> dft -> resize -> velmora_lib (include/velmora/, the public API)
#   picture_core <- bmp, codecs (side by side) <- picture (the door)
#   output
#   cli -> the public API, picture, output

# The numerics rely on the stated order of operations: no contraction into
# fused multiply-add, never fast-math, no host-specific instruction sets.
# The optimisation level is the build type's (CMakeLists.txt).
add_library(velmora_flags INTERFACE)
target_compile_options(velmora_flags INTERFACE -ffp-contract=off -Wall -Wextra)
if(VELMORA_SANITIZE)
  target_compile_options(velmora_flags INTERFACE -g -fno-omit-frame-pointer -fsanitize=address,undefined
                                                 -fno-sanitize-recover=all)
  target_link_options(velmora_flags INTERFACE -fsanitize=address,undefined)
  target_compile_definitions(velmora_flags INTERFACE VELMORA_SANITIZED)
endif()
if(VELMORA_FUZZ)
  target_compile_options(velmora_flags INTERFACE -g -fsanitize=fuzzer-no-link,address,undefined
                                                 -fno-sanitize-recover=all)
  target_link_options(velmora_flags INTERFACE -fsanitize=address,undefined)
endif()

# velmora_use_flags(target...): the flags above on each target. Linked
# through BUILD_INTERFACE, so that the installed package does not name it.
function(velmora_use_flags)
  foreach(target ${ARGN})
    target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:velmora_flags>)
  endforeach()
endfunction()

# velmora_layer_headers(target scope folder [header...]): puts the source
# folder `folder` (with headers named: only those of its headers) on the
# target's include path with the given scope (PUBLIC, PRIVATE, INTERFACE),
# under its last name: "fft" as "fft/...", "include/velmora" as "velmora/...".
function(velmora_layer_headers target scope folder)
  set(root ${PROJECT_BINARY_DIR}/layers/${target}/${scope})
  get_filename_component(name ${folder} NAME)
  if(ARGN)
    file(MAKE_DIRECTORY ${root}/${name})
    foreach(header ${ARGN})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder}/${header} ${root}/${name}/${header} SYMBOLIC)
    endforeach()
  else()
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${name} SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${root}>)
endfunction()

# velmora_library_layer(name folder source...): one layer of the library
# (fft/, dft/, resize/), a static library of its own for the layers above
# and the tests, whose objects velmora_lib gathers into the one installed
# library (velmora_library_objects).
function(velmora_library_layer name folder)
  add_library(${name} STATIC ${ARGN})
  velmora_use_flags(${name})
  # Internals stay inside the library; its per-instruction-set kernels take
  # these options from the layer too.
  target_compile_options(${name} PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden)
  velmora_layer_headers(${name} PUBLIC ${folder})
endfunction()

# The objects of a library layer, its per-instruction-set kernels included
# (cmake/lane_variants.cmake keeps their object libraries on the layer).
function(velmora_library_objects layer out)
  set(objects $<TARGET_OBJECTS:${layer}>)
  get_target_property(variants ${layer} VELMORA_LANE_OBJECTS)
  if(variants)
    foreach(variant ${variants})
      list(APPEND objects $<TARGET_OBJECTS:${variant}>)
    endforeach()
  endif()
  set(${out} ${objects} PARENT_SCOPE)
endfunction()
