# The tool's manual page and bash completion, and a Debian package of
# everything installed: `cpack -G DEB` in the build folder makes
# velmora_<version>_<architecture>.deb, its dependencies on the codec
# libraries' runtime packages worked out by dpkg-shlibdeps.
configure_file(${PROJECT_SOURCE_DIR}/packaging/velmora.1 ${PROJECT_BINARY_DIR}/velmora.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velmora.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmora.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME velmora)

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "the velmora developers")
set(CPACK_PACKAGE_CONTACT "velmora developers <velmora@users.noreply.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "band-limited resizing of pictures and arrays in the frequency domain")
set(CPACK_PACKAGE_DESCRIPTION
    "velmora resizes BMP, PNG, JPEG and TIFF pictures by band-limited interpolation in the frequency domain: no new frequencies when enlarging, no aliasing when reducing, no wrap-around at the borders. The package holds the command-line tool with its manual page and bash completion, and the C++ library with its header, CMake package and pkg-config file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/velmora")
include(CPack)
