# Builds the Debian packages with cpack, checks what each carries and what it
# depends on, unpacks them into an empty root (dpkg -x), and runs the packaged
# program and a host built against the packaged development files from there.
#   cmake -DBUILD=<build> -DSOURCE=<sources> -DCPACK=<cpack> [-DSANITIZE=ON] -P DebianPackageTest.cmake
cmake_minimum_required(VERSION 3.25)
set(scratch ${BUILD}/package-test)
file(REMOVE_RECURSE ${scratch})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

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
file(WRITE ${scratch}/data/site.dxf "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n4\n21\n4\n31\n0\n0\nENDSEC\n0\nEOF\n")
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
# package put it (no MARBROOK_QT_MODULE); without it, the dialog fails with one
# entry naming that place and nothing printed. Nothing plays the dialog here:
# it waits until the time runs out.
set(pick_env ${CMAKE_COMMAND} -E env --unset=MARBROOK_QT_MODULE --unset=DISPLAY --unset=WAYLAND_DISPLAY
  QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH=${root}/usr/lib MARBROOK_HOME=${scratch}/pick XDG_CONFIG_HOME=${scratch}/pick)
file(MAKE_DIRECTORY ${scratch}/pick)
execute_process(COMMAND ${pick_env} ${root}/usr/bin/marbrook pick TIMEOUT 10
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc MATCHES "timeout" OR EXISTS ${scratch}/pick/libmarbrook.err)
  message(FATAL_ERROR "with the packaged toolkit module the dialog did not wait for the user: status ${rc}\n${out}${err}")
endif()
file(REMOVE ${root}/usr/lib/marbrook/libmarbrook-qt.so)
execute_process(COMMAND ${pick_env} ${root}/usr/bin/marbrook pick RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(log "")
if(EXISTS ${scratch}/pick/libmarbrook.err)
  file(READ ${scratch}/pick/libmarbrook.err log)
endif()
string(REGEX MATCHALL "Position:" entries "${log}")
list(LENGTH entries entry_count)
file(REAL_PATH ${root}/usr/lib real_libdir)
string(FIND "${log}" "${real_libdir}/marbrook/libmarbrook-qt.so: not found" named)
if(NOT rc EQUAL 1 OR NOT entry_count EQUAL 1 OR named EQUAL -1 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "without the packaged toolkit module the dialog gave status ${rc}, printed\n${out}${err}\nand logged:\n${log}")
endif()
message(STATUS "toolkit module: the packaged one shows the dialog; its absence is reported once")

# A host built against the packaged development files, run against the
# packaged library.
set(consumer_flags)
if(SANITIZE)
  set(consumer_flags "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer")
endif()
run(${CMAKE_COMMAND} -S ${SOURCE}/tests/install/consumer -B ${scratch}/consumer -DCMAKE_PREFIX_PATH=${root}/usr ${consumer_flags})
run(${CMAKE_COMMAND} --build ${scratch}/consumer)
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${root}/usr/lib MARBROOK_HOME=${scratch} XDG_CONFIG_HOME=${scratch}
  ${scratch}/consumer/consumer)
message(STATUS "consumer: ${last_output}")
file(REMOVE_RECURSE ${scratch})
