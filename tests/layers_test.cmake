# Includes across the layers: compiles a file holding one #include in the
# include folders of the target whose sources would write it, and checks
# that it builds where cmake/layers.cmake allows the include and fails for
# want of the header where it does not. CASES (made by tests/CMakeLists.txt)
# calls layer_case(target header builds include-folders) once a case.
#   cmake -DCOMPILER=... -DCASES=... -DWORK_DIR=... -P layers_test.cmake
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY ${WORK_DIR})
set(failures "")
function(layer_case target header builds folders)
  string(MAKE_C_IDENTIFIER "${target}_${header}" name)
  set(probe ${WORK_DIR}/${name}.cpp)
  file(WRITE ${probe} "#include \"${header}\"\n")
  list(REMOVE_ITEM folders "")
  list(TRANSFORM folders PREPEND -I)
  execute_process(COMMAND ${COMPILER} -std=c++20 -fsyntax-only ${folders} ${probe}
                  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(builds AND failed)
    set(failures "${failures}\n${target} cannot include ${header}:\n${out}" PARENT_SCOPE)
  elseif(NOT builds AND NOT failed)
    set(failures "${failures}\n${target} can include ${header}, across the layers" PARENT_SCOPE)
  elseif(NOT builds AND NOT out MATCHES "${header}: No such file or directory")
    set(failures "${failures}\n${target} including ${header} fails for another reason:\n${out}" PARENT_SCOPE)
  endif()
endfunction()
include(${CASES})
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
