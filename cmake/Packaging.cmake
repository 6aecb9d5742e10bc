# Installing Marbrook: the shared library, its public headers, the programs,
# a CMake package (find_package(Marbrook)) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(MARBROOK_INCLUDE_ROOT ${CMAKE_INSTALL_INCLUDEDIR}/marbrook)
set(MARBROOK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Marbrook)

# The public headers: the public class, the in-process entry points and the
# platform interfaces they are written in.
install(FILES ${MARBROOK_PUBLIC_HEADERS} DESTINATION ${MARBROOK_INCLUDE_ROOT}/interface)
install(FILES ${MARBROOK_PLATFORM_HEADERS} DESTINATION ${MARBROOK_INCLUDE_ROOT}/platform)
install(FILES ${MARBROOK_EXPORT_DIR}/marbrook_export.h DESTINATION ${MARBROOK_INCLUDE_ROOT})

# libmarbrook.so carries the platform interfaces' few out-of-line parts; the
# static interface target is exported too, because the library names it.
install(TARGETS marbrook marbrook_platform_api marbrook_warnings EXPORT MarbrookTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${MARBROOK_INCLUDE_ROOT})
install(EXPORT MarbrookTargets NAMESPACE Marbrook:: DESTINATION ${MARBROOK_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MarbrookConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MarbrookConfig.cmake INSTALL_DESTINATION ${MARBROOK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MarbrookConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MarbrookConfig.cmake ${PROJECT_BINARY_DIR}/MarbrookConfigVersion.cmake
  DESTINATION ${MARBROOK_CMAKE_DIR})

# Relocatable: the prefix is found from where the .pc file lies, so that
# `cmake --install --prefix` anywhere gives a working file.
file(RELATIVE_PATH MARBROOK_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" MARBROOK_PC_TO_PREFIX "${MARBROOK_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/marbrook.pc.in ${PROJECT_BINARY_DIR}/marbrook.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/marbrook.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The library shows only its public names (label install).
if(MARBROOK_TESTS)
  find_program(MARBROOK_NM NAMES nm REQUIRED)
  add_test(NAME library_shows_only_public_names
    COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:marbrook> -DNM=${MARBROOK_NM}
      -P ${PROJECT_SOURCE_DIR}/tests/surface/PublicNames.cmake)
  set_tests_properties(library_shows_only_public_names PROPERTIES LABELS install)
endif()

# Install into a scratch prefix and build a host against it (label install).
if(MARBROOK_TESTS)
  add_test(NAME installed_package_builds_a_host
    COMMAND ${CMAKE_COMMAND} -DBUILD=${PROJECT_BINARY_DIR} -DSOURCE=${PROJECT_SOURCE_DIR}
      -DLIBDIR=${CMAKE_INSTALL_LIBDIR} -DSANITIZE=${MARBROOK_SANITIZE} -DREADER_DIR=${MARBROOK_READER_INSTALL_DIR}
      -P ${PROJECT_SOURCE_DIR}/tests/install/InstallTest.cmake)
  set_tests_properties(installed_package_builds_a_host PROPERTIES LABELS install TIMEOUT 300)
endif()
