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
