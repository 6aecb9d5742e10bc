# Installing Marbrook: the shared library, its public headers, the programs,
# a CMake package (find_package(Marbrook)) and a pkg-config file, in three
# components that are also the three Debian packages `cpack -G DEB` builds:
#   runtime  libmarbrook2     the shared library
#   dev      libmarbrook-dev  headers, CMake package, pkg-config, the link name
#   tools    marbrook-tools   the programs, the QGIS plugin, man page, completion
include(CMakePackageConfigHelpers)

set(MARBROOK_INCLUDE_ROOT ${CMAKE_INSTALL_INCLUDEDIR}/marbrook)
set(MARBROOK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Marbrook)

# The public headers: the public class, the in-process entry points and the
# platform interfaces they are written in.
install(FILES ${MARBROOK_PUBLIC_HEADERS} DESTINATION ${MARBROOK_INCLUDE_ROOT}/interface COMPONENT dev)
install(FILES ${MARBROOK_PLATFORM_HEADERS} DESTINATION ${MARBROOK_INCLUDE_ROOT}/platform COMPONENT dev)
install(FILES ${MARBROOK_EXPORT_DIR}/marbrook_export.h DESTINATION ${MARBROOK_INCLUDE_ROOT} COMPONENT dev)

# libmarbrook.so carries the platform interfaces' few out-of-line parts; the
# static interface target is exported too, because the library names it.
install(TARGETS marbrook marbrook_platform_api marbrook_warnings EXPORT MarbrookTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools
  INCLUDES DESTINATION ${MARBROOK_INCLUDE_ROOT})
install(EXPORT MarbrookTargets NAMESPACE Marbrook:: DESTINATION ${MARBROOK_CMAKE_DIR} COMPONENT dev)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MarbrookConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MarbrookConfig.cmake INSTALL_DESTINATION ${MARBROOK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MarbrookConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MarbrookConfig.cmake ${PROJECT_BINARY_DIR}/MarbrookConfigVersion.cmake
  DESTINATION ${MARBROOK_CMAKE_DIR} COMPONENT dev)

# Relocatable: the prefix is found from where the .pc file lies, so that
# `cmake --install --prefix` anywhere gives a working file.
file(RELATIVE_PATH MARBROOK_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" MARBROOK_PC_TO_PREFIX "${MARBROOK_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/marbrook.pc.in ${PROJECT_BINARY_DIR}/marbrook.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/marbrook.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The program's manual page and bash completion, and the QGIS plugin where
# QGIS looks for plugins every user may load.
install(FILES ${PROJECT_SOURCE_DIR}/doc/marbrook.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
install(FILES ${PROJECT_SOURCE_DIR}/doc/marbrook.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME marbrook COMPONENT tools)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/hosts/qgis/marbrook DESTINATION ${CMAKE_INSTALL_DATADIR}/qgis/python/plugins
  COMPONENT tools PATTERN "__pycache__" EXCLUDE)

# The plugin for one user, without the package:
#   cmake --build build --target install-qgis-plugin
# copies it into the default QGIS profile (QGIS_PROFILE_DIR names another).
add_custom_target(install-qgis-plugin
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/hosts/qgis/marbrook -P ${PROJECT_SOURCE_DIR}/cmake/InstallQgisPlugin.cmake
  COMMENT "Copying the Marbrook plugin into the QGIS profile" VERBATIM)

# ---- Debian packages: cpack -G DEB (in the build folder) ----------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marbrook)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Marbrook developers")
set(CPACK_PACKAGE_CONTACT "Marbrook developers <marbrook@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "spatial data picker for GIS hosts")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Dependencies on shared libraries are read from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libmarbrook${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "spatial data picker for GIS hosts - shared library
 Marbrook lets the user of a desktop GIS pick spatial data (folders, shapefiles,
 rasters, CAD drawings, personal geodatabases, PostGIS connections) in its data
 dialog and returns ready map layers.")
# Personal geodatabases are read through this ODBC driver, which the library
# loads by name at run time: no binary names it.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "odbc-mdbtools")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libmarbrook-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION "spatial data picker for GIS hosts - development files
 Headers, CMake package (find_package(Marbrook)) and pkg-config file for hosts
 that link libmarbrook.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME marbrook-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION science)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "spatial data picker for GIS hosts - programs and QGIS plugin
 The marbrook program (list data as the dialog does, make layers, show the
 dialog for another program, write connection files), the demo host, and the
 QGIS plugin \"Add data (Marbrook)\".")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SUGGESTS "qgis, python3-qgis")
include(CPack)

# The library shows only its public names (label install).
if(MARBROOK_TESTS)
  find_program(MARBROOK_NM NAMES nm REQUIRED)
  add_test(NAME library_shows_only_public_names
    COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:marbrook> -DNM=${MARBROOK_NM}
      -P ${PROJECT_SOURCE_DIR}/tests/surface/PublicNames.cmake)
  set_tests_properties(library_shows_only_public_names PROPERTIES LABELS install)
endif()

# The Debian packages, unpacked into an empty root: the program and a host
# built against the packaged development files run from there (label install).
if(MARBROOK_TESTS)
  find_program(MARBROOK_DPKG_DEB dpkg-deb)
  if(MARBROOK_DPKG_DEB)
    add_test(NAME debian_packages_install_and_run
      COMMAND ${CMAKE_COMMAND} -DBUILD=${PROJECT_BINARY_DIR} -DSOURCE=${PROJECT_SOURCE_DIR}
        -DCPACK=${CMAKE_CPACK_COMMAND} -DSANITIZE=${MARBROOK_SANITIZE}
        -P ${PROJECT_SOURCE_DIR}/tests/install/DebianPackageTest.cmake)
    set_tests_properties(debian_packages_install_and_run PROPERTIES LABELS install TIMEOUT 600 RUN_SERIAL ON)
  endif()
endif()

# The program's commands that show no window map no toolkit (label install).
if(MARBROOK_TESTS)
  add_test(NAME commands_without_a_window_map_no_toolkit
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:marbrook_cli> -DSCRATCH=${PROJECT_BINARY_DIR}/no-toolkit-test
      -P ${PROJECT_SOURCE_DIR}/tests/surface/NoToolkit.cmake)
  set_tests_properties(commands_without_a_window_map_no_toolkit PROPERTIES LABELS install)
endif()

# Install into a scratch prefix and build a host against it (label install).
if(MARBROOK_TESTS)
  add_test(NAME installed_package_builds_a_host
    COMMAND ${CMAKE_COMMAND} -DBUILD=${PROJECT_BINARY_DIR} -DSOURCE=${PROJECT_SOURCE_DIR}
      -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DSANITIZE=${MARBROOK_SANITIZE} -DREADER_DIR=${MARBROOK_READER_INSTALL_DIR}
      -DQT_MODULE_DIR=${MARBROOK_QT_MODULE_INSTALL_DIR}
      -P ${PROJECT_SOURCE_DIR}/tests/install/InstallTest.cmake)
  set_tests_properties(installed_package_builds_a_host PROPERTIES LABELS install TIMEOUT 300)
endif()
