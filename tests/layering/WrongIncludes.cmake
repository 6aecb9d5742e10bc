# Copies the library's sources into a scratch tree, puts a file with a wrong
# include into several core folders (and into the back ends), configures the
# copy as the project is configured (GDAL and Qt found, when the build has
# them), and builds each of those files: every one must stop the build,
# saying which include is wrong, while a file with the includes its layer may
# use still compiles.
#   cmake -DSOURCE=<project> -DSCRATCH=<folder> -DWITH_GDAL=ON|OFF -DWITH_QT=ON|OFF -P WrongIncludes.cmake
cmake_minimum_required(VERSION 3.25)

set(tree ${SCRATCH}/src)
set(build ${SCRATCH}/build)
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${tree})
file(COPY ${SOURCE}/CMakeLists.txt DESTINATION ${tree})
foreach(folder cmake interface browser catalogue connections support platform apps)
  file(COPY ${SOURCE}/${folder} DESTINATION ${tree})
endforeach()

# name | folder | text | what the failure must name ("" for a file that must compile)
set(probes
  "Allowed|connections|#include <string>\n#include \"catalogue/basOpenDialogs.h\"\n#include \"support/Failure.h\"\n|"
  "BackEnd|support|#include \"platform/posix/PosixSystem.h\"\n|platform/posix/PosixSystem.h: No such file"
  "Upward|catalogue|#include \"browser/frmOpenDialog.h\"\n|browser/frmOpenDialog.h: No such file"
  "Escape|interface|#include \"../browser/frmOpenDialog.h\"\n|ProbeEscape.cpp: \"../browser/frmOpenDialog.h\" steps out of its folder"
  "Toolkit|browser|#include <QtCore/QString>\n|ProbeToolkit.cpp: <QtCore/QString> is not part of the C++ standard library"
  "Gdal|browser|#include <gdal.h>\n|ProbeGdal.cpp: <gdal.h> is not part of the C++ standard library"
  "Mounts|browser|#include <mntent.h>\n|ProbeMounts.cpp: <mntent.h> is not part of the C++ standard library"
  "Threads|interface|#include <pthread.h>\n|ProbeThreads.cpp: <pthread.h> is not part of the C++ standard library"
)
# The back ends know forms and the catalogue only through platform/*.h.
if(WITH_QT)
  list(APPEND probes "ToolkitSeesForms|platform/qt|#include \"browser/frmOpenDialog.h\"\n|browser/frmOpenDialog.h: No such file")
endif()
if(WITH_GDAL)
  list(APPEND probes "GisSeesCatalogue|platform/gdal|#include \"catalogue/basOpenDialogs.h\"\n|catalogue/basOpenDialogs.h: No such file")
endif()

foreach(probe IN LISTS probes)
  string(REPLACE "|" ";" fields "${probe}")
  list(GET fields 0 name)
  list(GET fields 1 folder)
  list(GET fields 2 text)
  string(REPLACE "\\n" "\n" text "${text}")
  file(WRITE ${tree}/${folder}/Probe${name}.cpp "${text}")
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${tree} -B ${build} -G Ninja -DMARBROOK_TESTS=OFF -DMARBROOK_BENCH=OFF
    -DMARBROOK_WITH_GDAL=${WITH_GDAL} -DMARBROOK_WITH_QT=${WITH_QT}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the scratch tree does not configure:\n${out}\n${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} -- -t targets all OUTPUT_VARIABLE targets RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list the scratch build's targets")
endif()

set(problems "")
foreach(probe IN LISTS probes)
  string(REPLACE "|" ";" fields "${probe}")
  list(GET fields 0 name)
  list(GET fields 1 folder)
  list(LENGTH fields n)
  set(expected "")
  if(n GREATER 3)
    list(GET fields 3 expected)
  endif()
  if(NOT targets MATCHES "([^\n]*/Probe${name}\\.cpp\\.o):")
    string(APPEND problems "\n  ${folder}/Probe${name}.cpp is not compiled by any target")
    continue()
  endif()
  set(object ${CMAKE_MATCH_1})
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} --target ${object}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(out "${out}${err}")
  if(expected STREQUAL "")
    if(NOT rc EQUAL 0)
      string(APPEND problems "\n  ${folder}/Probe${name}.cpp includes only what its layer may use, yet does not build:\n${out}")
    endif()
  elseif(rc EQUAL 0)
    string(APPEND problems "\n  ${folder}/Probe${name}.cpp built, though it includes what its layer may not see")
  else()
    string(FIND "${out}" "${expected}" at)
    if(at EQUAL -1)
      string(APPEND problems "\n  ${folder}/Probe${name}.cpp failed, but not by naming '${expected}':\n${out}")
    else()
      message(STATUS "${folder}/Probe${name}.cpp: the build stops at '${expected}'")
    endif()
  endif()
endforeach()

if(problems)
  message(FATAL_ERROR "the layers are not enforced by the build:${problems}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
