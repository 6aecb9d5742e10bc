# Installs the build into a scratch prefix, then builds and runs a small host
# against it with find_package(Marbrook), and checks the pkg-config file.
set(prefix ${BUILD}/install-test/prefix)
set(consumer ${BUILD}/install-test/consumer)
file(REMOVE_RECURSE ${BUILD}/install-test)

include(${CMAKE_CURRENT_LIST_DIR}/Checks.cmake)

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(f include/marbrook/interface/CLayerFunctionExport.h include/marbrook/marbrook_export.h include/marbrook/platform/gis.h
          ${LIBDIR}/libmarbrook.so ${LIBDIR}/cmake/Marbrook/MarbrookConfig.cmake ${LIBDIR}/pkgconfig/marbrook.pc bin/marbrook)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

build_and_run_consumer(${consumer} ${prefix} ${prefix}/${LIBDIR} ${BUILD}/install-test)

# The installed library finds its installed reader program: the installed
# program lists a drawing, and says which program is missing once it is gone.
if(READER_DIR)
  if(NOT EXISTS ${prefix}/${READER_DIR}/marbrook-reader)
    message(FATAL_ERROR "not installed: ${READER_DIR}/marbrook-reader")
  endif()
  set(drawing ${BUILD}/install-test/town.dxf)
  write_drawing(${drawing})
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
# it.
if(QT_MODULE_DIR)
  check_toolkit_module("the installed" ${prefix}/bin/marbrook ${prefix}/${QT_MODULE_DIR}/libmarbrook-qt.so
    ${BUILD}/install-test/pick)
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
