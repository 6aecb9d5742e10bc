# Builds the Debian packages with cpack, checks what each carries and what it
# depends on, unpacks them into an empty root (dpkg -x), and runs the packaged
# program and a host built against the packaged development files from there.
#   cmake -DBUILD=<build> -DSOURCE=<sources> -DCPACK=<cpack> [-DSANITIZE=ON] -P DebianPackageTest.cmake
cmake_minimum_required(VERSION 3.25)
set(scratch ${BUILD}/package-test)
file(REMOVE_RECURSE ${scratch})

include(${CMAKE_CURRENT_LIST_DIR}/Checks.cmake)

run(${CPACK} -G DEB -B ${scratch}/debs --config ${BUILD}/CPackConfig.cmake)
file(GLOB debs ${scratch}/debs/*.deb)
set(names "")
foreach(deb IN LISTS debs)
  run(dpkg-deb -f ${deb} Package)
  string(STRIP "${last_output}" name)
  list(APPEND names ${name})
  set(deb_${name} ${deb})
endforeach()
list(SORT names)
if(NOT names STREQUAL "libmarbrook-dev;libmarbrook2;marbrook-tools")
  message(FATAL_ERROR "packages built: ${names}")
endif()

# What each package carries (paths inside the package, as dpkg lists them).
# The reader program belongs with the library, which runs it from its own
# folder's ../libexec/marbrook.
# So does the toolkit module, which it loads from its folder's marbrook/.
set(carries_libmarbrook2 "/usr/lib/libmarbrook.so.2.0.0" "/usr/lib/libmarbrook.so.2" "/usr/libexec/marbrook/marbrook-reader"
  "/usr/lib/marbrook/libmarbrook-qt.so")
set(carries_libmarbrook-dev "/usr/include/marbrook/interface/CLayerFunctionExport.h" "/usr/include/marbrook/platform/gis.h"
  "/usr/lib/libmarbrook.so" "/usr/lib/cmake/Marbrook/MarbrookConfig.cmake" "/usr/lib/pkgconfig/marbrook.pc")
set(carries_marbrook-tools "/usr/bin/marbrook" "/usr/share/man/man1/marbrook.1"
  "/usr/share/bash-completion/completions/marbrook" "/usr/share/qgis/python/plugins/marbrook/plugin.py"
  "/usr/share/qgis/python/plugins/marbrook/metadata.txt")
set(not_in_marbrook-tools "/usr/lib/libmarbrook.so.2" "/usr/libexec/marbrook/marbrook-reader" "/usr/lib/marbrook/libmarbrook-qt.so")
foreach(name IN LISTS names)
  run(dpkg-deb -c ${deb_${name}})
  set(listing "${last_output}")
  foreach(path IN LISTS carries_${name})
    string(FIND "${listing}" " .${path}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${name} does not carry ${path}:\n${listing}")
    endif()
  endforeach()
  foreach(path IN LISTS not_in_${name})
    string(FIND "${listing}" " .${path}" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${name} carries ${path}, which belongs to another package")
    endif()
  endforeach()
  run(dpkg-deb -x ${deb_${name}} ${scratch}/root)
endforeach()

# Dependencies come from the binaries: GDAL and Qt for the library, the
# library itself for the others.
run(dpkg-deb -f ${deb_libmarbrook2} Depends)
set(runtime_depends "${last_output}")
foreach(wanted libgdal libqt6widgets6 libstdc\\+\\+6 libc6)
  if(NOT runtime_depends MATCHES "(^|, )${wanted}")
    message(FATAL_ERROR "libmarbrook2 does not depend on ${wanted}: ${runtime_depends}")
  endif()
endforeach()
foreach(name libmarbrook-dev marbrook-tools)
  run(dpkg-deb -f ${deb_${name}} Depends)
  if(NOT last_output MATCHES "libmarbrook2 \\(= 2\\.0\\.0\\)")
    message(FATAL_ERROR "${name} does not depend on the same libmarbrook2: ${last_output}")
  endif()
endforeach()
message(STATUS "libmarbrook2 depends on: ${runtime_depends}")

# The packaged program, run from the root: it finds the packaged library
# beside it and names its folder.
set(root ${scratch}/root)
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${root}/usr/lib XDG_CONFIG_HOME=${scratch} ${root}/usr/bin/marbrook info)
if(NOT last_output MATCHES "library folder: +${root}/usr/lib\n")
  message(FATAL_ERROR "the packaged program does not stand for the packaged library:\n${last_output}")
endif()
message(STATUS "marbrook info:\n${last_output}")

# A drawing is read by the packaged reader program, found where the package
# put it (no MARBROOK_READER to point elsewhere).
write_drawing(${scratch}/data/site.dxf)
run(${CMAKE_COMMAND} -E env --unset=MARBROOK_READER LD_LIBRARY_PATH=${root}/usr/lib MARBROOK_HOME=${scratch}
  XDG_CONFIG_HOME=${scratch} ${root}/usr/bin/marbrook layers ${scratch}/data/site.dxf::Polyline)
if(NOT last_output MATCHES "^feature\tPolyline\t[^\n]*\t1\n$")
  message(FATAL_ERROR "the packaged program did not read the drawing through its reader:\n${last_output}")
endif()
file(REMOVE ${root}/usr/libexec/marbrook/marbrook-reader)
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=MARBROOK_READER LD_LIBRARY_PATH=${root}/usr/lib
  MARBROOK_HOME=${scratch} XDG_CONFIG_HOME=${scratch} ${root}/usr/bin/marbrook layers ${scratch}/data/site.dxf::Polyline
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "without the packaged reader the drawing was still read:\n${out}")
endif()
message(STATUS "reader: the packaged one reads; without it: ${err}")

# The dialog comes up through the packaged toolkit module, found where the
# package put it.
check_toolkit_module("the packaged" ${root}/usr/bin/marbrook ${root}/usr/lib/marbrook/libmarbrook-qt.so ${scratch}/pick
  LD_LIBRARY_PATH=${root}/usr/lib)

# A host built against the packaged development files, run against the
# packaged library.
build_and_run_consumer(${scratch}/consumer ${root}/usr ${root}/usr/lib ${scratch})
file(REMOVE_RECURSE ${scratch})
