# Installs the build in BUILD_DIR into WORK_DIR/prefix, then configures,
# builds and runs SOURCE_DIR/examples against it; the program's line is the
# test's output.
file(REMOVE_RECURSE ${WORK_DIR})
function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed:\n${out}")
  endif()
endfunction()
step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix)
step(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix)
step(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
execute_process(COMMAND ${WORK_DIR}/build/resize_picture RESULT_VARIABLE failed OUTPUT_VARIABLE out)
if(failed)
  message(FATAL_ERROR "the example failed: ${out}")
endif()
message("${out}")
