# The marbrook program's commands that show no window load no toolkit: run
# `info`, `list` of an empty folder and of a folder with data, and `layers`,
# with the dynamic loader reporting every file it maps (LD_DEBUG=files), and
# fail on any libQt6. The loader must be seen mapping GDAL, or the check
# would prove nothing.
#   cmake -DCLI=<marbrook> -DSCRATCH=<folder> -P NoToolkit.cmake
set(home ${SCRATCH}/home)
set(empty ${SCRATCH}/empty)
set(data ${SCRATCH}/data)
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${home} ${empty} ${data})
file(WRITE ${data}/trails.geojson
  "{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"LineString\",\"coordinates\":[[0,0],[1,1]]}}]}\n")

set(problems "")
foreach(command "info" "list|${empty}" "list|${data}" "layers|${data}::trails.geojson")
  string(REPLACE "|" ";" arguments "${command}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_DEBUG=files MARBROOK_HOME=${home} XDG_CONFIG_HOME=${home}
      ${CLI} ${arguments}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REPLACE "|" " " shown "${command}")
  if(NOT rc EQUAL 0)
    string(APPEND problems "\n  marbrook ${shown} failed (${rc}): ${out}")
    continue()
  endif()
  if(NOT err MATCHES "file=libgdal")
    string(APPEND problems "\n  marbrook ${shown}: the loader's report shows no GDAL, so it shows nothing")
  endif()
  string(REGEX MATCHALL "file=libQt6[^ ]*" toolkit "${err}")
  if(toolkit)
    list(REMOVE_DUPLICATES toolkit)
    string(APPEND problems "\n  marbrook ${shown} loads ${toolkit}")
  endif()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
if(problems)
  message(FATAL_ERROR "commands that show no window load the toolkit:${problems}")
endif()
message(STATUS "info, list and layers map no toolkit library")
