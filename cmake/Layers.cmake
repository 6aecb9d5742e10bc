# The layers of the library, as the build enforces them.
#
# Every header is included by its path from the project root
# ("catalogue/basOpenDialogs.h"), so an include path that held the root would
# admit every header to every target. Instead each target's include path holds
# only views: folders in the build tree with links to exactly the source
# folders and files a target may see. A target that includes a header of a
# layer it does not link fails to compile, and so does one that includes GDAL
# or Qt, whose folders only the back ends have on their path.
#
# System headers cannot be kept off a path that way (/usr/include holds
# <pthread.h> as well as <cstdint>), so every core folder is also read before
# it is compiled: a core file may name only the C++ standard library between
# angle brackets (cmake/CheckLayerIncludes.cmake).

set(MARBROOK_VIEWS_DIR ${PROJECT_BINARY_DIR}/include-views)

# marbrook_include_view(<out-var> <name> <entry>...)
# Makes the view <name>, holding a link for each entry (a file or folder path
# relative to the project root, kept at the same relative path), and returns
# its folder for target_include_directories.
function(marbrook_include_view out name)
  set(view ${MARBROOK_VIEWS_DIR}/${name})
  file(REMOVE_RECURSE ${view}) # links only: the sources they point to stay
  foreach(entry IN LISTS ARGN)
    get_filename_component(parent ${view}/${entry} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${entry} ${view}/${entry} SYMBOLIC)
  endforeach()
  set(${out} ${view} PARENT_SCOPE)
endfunction()

# marbrook_check_includes(<target> <folder>...)
# Before <target> compiles, every .h and .cpp file of the folders is read and
# the build stops when one of them includes anything between angle brackets
# that is not a header of the C++ standard library, or climbs out of its
# folder with "..".
function(marbrook_check_includes target)
  set(files)
  foreach(folder IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    list(APPEND files ${found})
  endforeach()
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.includes-checked)
  string(REPLACE ";" "|" folders "${ARGN}")
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} "-DFOLDERS=${folders}" -DSTAMP=${stamp}
      -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
    COMMENT "Checking the includes of ${target}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()

# marbrook_core_layer(<folder> [PUBLIC <target>...] [PRIVATE <target>...])
# The static library marbrook_<folder> of one core folder. PUBLIC names what
# its headers include, PRIVATE what only its sources do; nothing else is on
# its include path.
function(marbrook_core_layer folder)
  cmake_parse_arguments(LAYER "" "" "PUBLIC;PRIVATE" ${ARGN})
  set(target marbrook_${folder})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  add_library(${target} STATIC ${sources})
  marbrook_include_view(view ${folder} ${folder})
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${view}>)
  target_link_libraries(${target} PUBLIC ${LAYER_PUBLIC} PRIVATE ${LAYER_PRIVATE} marbrook_warnings)
  marbrook_check_includes(${target} ${folder})
endfunction()
