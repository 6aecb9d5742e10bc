# Installs the build into a scratch prefix, then builds and runs a small host
# against it with find_package(Marbrook), and checks the pkg-config file.
set(prefix ${BUILD}/install-test/prefix)
set(consumer ${BUILD}/install-test/consumer)
file(REMOVE_RECURSE ${BUILD}/install-test)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(f include/marbrook/interface/CLayerFunctionExport.h include/marbrook/marbrook_export.h include/marbrook/platform/gis.h
          ${LIBDIR}/libmarbrook.so ${LIBDIR}/cmake/Marbrook/MarbrookConfig.cmake ${LIBDIR}/pkgconfig/marbrook.pc bin/marbrook)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# An instrumented library needs an instrumented host: the sanitizer runtime
# must be the first library the program loads.
set(consumer_flags)
if(SANITIZE)
  set(consumer_flags "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer")
endif()
run(${CMAKE_COMMAND} -S ${SOURCE}/tests/install/consumer -B ${consumer} -DCMAKE_PREFIX_PATH=${prefix} ${consumer_flags})
run(${CMAKE_COMMAND} --build ${consumer})
run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/${LIBDIR} MARBROOK_HOME=${BUILD}/install-test
  XDG_CONFIG_HOME=${BUILD}/install-test ${consumer}/consumer)
message(STATUS "consumer: ${last_output}")

# The installed library finds its installed reader program: the installed
# program lists a drawing, and says which program is missing once it is gone.
if(READER_DIR)
  if(NOT EXISTS ${prefix}/${READER_DIR}/marbrook-reader)
    message(FATAL_ERROR "not installed: ${READER_DIR}/marbrook-reader")
  endif()
  set(drawing ${BUILD}/install-test/town.dxf)
  file(WRITE ${drawing} "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n4\n21\n4\n31\n0\n0\nENDSEC\n0\nEOF\n")
  set(list_env ${CMAKE_COMMAND} -E env --unset=MARBROOK_READER MARBROOK_HOME=${BUILD}/install-test
    XDG_CONFIG_HOME=${BUILD}/install-test)
  run(${list_env} ${prefix}/bin/marbrook list ${drawing})
  string(REGEX MATCHALL "\n" lines "${last_output}")
  list(LENGTH lines line_count)
  if(NOT line_count EQUAL 4)
    message(FATAL_ERROR "the installed program listed ${line_count} classes of a drawing:\n${last_output}")
  endif()
  file(REMOVE ${prefix}/${READER_DIR}/marbrook-reader)
  execute_process(COMMAND ${list_env} ${prefix}/bin/marbrook list ${drawing} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  file(READ ${BUILD}/install-test/libmarbrook.err log)
  if(rc EQUAL 0 OR NOT log MATCHES "the reader program marbrook-reader is missing")
    message(FATAL_ERROR "without its reader the installed program gave status ${rc} and logged:\n${log}")
  endif()
  message(STATUS "reader: found where installed; its absence is reported")
endif()

# The installed library looks for its toolkit module where the install put
# it: without it, the installed program's dialog fails with one entry naming
# that path (and prints nothing of the loader's).
if(QT_MODULE_DIR)
  set(module ${prefix}/${QT_MODULE_DIR}/libmarbrook-qt.so)
  if(NOT EXISTS ${module})
    message(FATAL_ERROR "not installed: ${QT_MODULE_DIR}/libmarbrook-qt.so")
  endif()
  set(pick_env ${CMAKE_COMMAND} -E env --unset=MARBROOK_QT_MODULE --unset=DISPLAY --unset=WAYLAND_DISPLAY
    QT_QPA_PLATFORM=offscreen MARBROOK_HOME=${BUILD}/install-test XDG_CONFIG_HOME=${BUILD}/install-test)
  # With it, the dialog comes up and waits for a user nobody plays here.
  file(REMOVE ${BUILD}/install-test/libmarbrook.err)
  execute_process(COMMAND ${pick_env} ${prefix}/bin/marbrook pick TIMEOUT 10
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc MATCHES "timeout" OR EXISTS ${BUILD}/install-test/libmarbrook.err)
    message(FATAL_ERROR "with its toolkit module the installed program's dialog did not wait for the user: status ${rc}\n${out}${err}")
  endif()
  file(REMOVE ${module})
  execute_process(COMMAND ${pick_env} ${prefix}/bin/marbrook pick
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  file(READ ${BUILD}/install-test/libmarbrook.err log)
  file(REAL_PATH ${prefix}/${QT_MODULE_DIR} real_module_dir)
  string(REGEX MATCHALL "Position:" entries "${log}")
  list(LENGTH entries entry_count)
  string(FIND "${log}" "${real_module_dir}/libmarbrook-qt.so: not found" named)
  if(NOT rc EQUAL 1 OR NOT entry_count EQUAL 1 OR named EQUAL -1 OR NOT "${out}${err}" STREQUAL "")
    message(FATAL_ERROR "without its toolkit module the installed program gave status ${rc}, printed\n${out}${err}\nand logged:\n${log}")
  endif()
  message(STATUS "toolkit module: found where installed; its absence is reported once")
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig ${PKG_CONFIG} --cflags --libs marbrook)
  string(FIND "${last_output}" "${prefix}/include/marbrook" at)
  if(at EQUAL -1)
    # pkg-config prints the prefix as it resolved it; compare real paths.
    file(REAL_PATH ${prefix} real_prefix)
    string(FIND "${last_output}" "include/marbrook" at2)
    if(at2 EQUAL -1)
      message(FATAL_ERROR "pkg-config gives no include folder: ${last_output}")
    endif()
  endif()
  if(NOT last_output MATCHES "-lmarbrook")
    message(FATAL_ERROR "pkg-config gives no library: ${last_output}")
  endif()
  message(STATUS "pkg-config: ${last_output}")
endif()
file(REMOVE_RECURSE ${BUILD}/install-test)
