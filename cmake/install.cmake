# Installing the library: the archive (or shared library), the public
# headers, a CMake package (find_package(velmora CONFIG) gives
# velmora::velmora) and velmora.pc for pkg-config. Private headers stay
# behind.
include(CMakePackageConfigHelpers)

install(TARGETS velmora_lib EXPORT velmora_targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/velmora/velmora.h ${PROJECT_SOURCE_DIR}/include/velmora/samples.h
              ${PROJECT_SOURCE_DIR}/include/velmora/buffer.h ${PROJECT_SOURCE_DIR}/include/velmora/export.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velmora)

set(velmora_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/velmora)
install(EXPORT velmora_targets NAMESPACE velmora:: FILE velmora-targets.cmake DESTINATION ${velmora_package_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/velmora-config.cmake.in
                              ${PROJECT_BINARY_DIR}/velmora-config.cmake INSTALL_DESTINATION ${velmora_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velmora-config-version.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velmora-config.cmake ${PROJECT_BINARY_DIR}/velmora-config-version.cmake
        DESTINATION ${velmora_package_dir})

# The prefix is found from where velmora.pc lies, so that an install with
# --prefix (or a copied tree) needs no edit.
file(RELATIVE_PATH velmora_pc_up "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
set(velmora_pc_prefix "\${pcfiledir}/${velmora_pc_up}")
string(REGEX REPLACE "/$" "" velmora_pc_prefix "${velmora_pc_prefix}")
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(velmora_pc_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(velmora_pc_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/velmora.pc.in ${PROJECT_BINARY_DIR}/velmora.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velmora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
