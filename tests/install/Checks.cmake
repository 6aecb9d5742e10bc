# What the install test and the package test both check of an installed
# Marbrook, wherever it was installed.

# Runs a command; any status but 0 fails the test with its output. The
# command's standard output is left in `last_output`.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

# A drawing of one line, read only through the reader program.
function(write_drawing path)
  file(WRITE ${path} "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n4\n21\n4\n31\n0\n0\nENDSEC\n0\nEOF\n")
endfunction()

# The installed program `program` finds the toolkit module `module` where it
# was installed (no MARBROOK_QT_MODULE): with it the dialog comes up and waits
# for a user nobody plays here, until the time runs out; without it the
# dialog fails with status 1, one log entry naming that place and nothing
# printed. `home` takes the error log; the arguments after it are more
# NAME=VALUE settings of the program's environment. `what` names the install
# in the messages.
function(check_toolkit_module what program module home)
  set(pick_env ${CMAKE_COMMAND} -E env --unset=MARBROOK_QT_MODULE --unset=DISPLAY --unset=WAYLAND_DISPLAY
    QT_QPA_PLATFORM=offscreen MARBROOK_HOME=${home} XDG_CONFIG_HOME=${home} ${ARGN})
  if(NOT EXISTS ${module})
    message(FATAL_ERROR "not installed: ${module}")
  endif()
  file(MAKE_DIRECTORY ${home})
  file(REMOVE ${home}/libmarbrook.err)
  execute_process(COMMAND ${pick_env} ${program} pick TIMEOUT 10
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc MATCHES "timeout" OR EXISTS ${home}/libmarbrook.err)
    message(FATAL_ERROR "with ${what} toolkit module the dialog did not wait for the user: status ${rc}\n${out}${err}")
  endif()
  file(REMOVE ${module})
  execute_process(COMMAND ${pick_env} ${program} pick RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(log "")
  if(EXISTS ${home}/libmarbrook.err)
    file(READ ${home}/libmarbrook.err log)
  endif()
  string(REGEX MATCHALL "Position:" entries "${log}")
  list(LENGTH entries entry_count)
  get_filename_component(module_dir ${module} DIRECTORY)
  file(REAL_PATH ${module_dir} real_module_dir)
  string(FIND "${log}" "${real_module_dir}/libmarbrook-qt.so: not found" named)
  if(NOT rc EQUAL 1 OR NOT entry_count EQUAL 1 OR named EQUAL -1 OR NOT "${out}${err}" STREQUAL "")
    message(FATAL_ERROR "without ${what} toolkit module the dialog gave status ${rc}, printed\n${out}${err}\nand logged:\n${log}")
  endif()
  message(STATUS "toolkit module: ${what} one shows the dialog; its absence is reported once")
endfunction()

# Builds the small host of tests/install/consumer in `dir` against the
# Marbrook found under `prefix_path` and runs it with the library folder
# `libdir`; an instrumented library needs an instrumented host (SANITIZE),
# since the sanitizer runtime must be the first library the program loads.
function(build_and_run_consumer dir prefix_path libdir home)
  set(consumer_flags)
  if(SANITIZE)
    set(consumer_flags "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-omit-frame-pointer")
  endif()
  run(${CMAKE_COMMAND} -S ${SOURCE}/tests/install/consumer -B ${dir} -DCMAKE_PREFIX_PATH=${prefix_path} ${consumer_flags})
  run(${CMAKE_COMMAND} --build ${dir})
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} MARBROOK_HOME=${home} XDG_CONFIG_HOME=${home} ${dir}/consumer)
  message(STATUS "consumer: ${last_output}")
endfunction()
