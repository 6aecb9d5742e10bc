# Run by the build before a core layer compiles (see cmake/Layers.cmake):
#   cmake -DROOT=<source> -DFOLDERS=<folder>|<folder>... -DSTAMP=<file> -P CheckLayerIncludes.cmake
# A core file may include, between angle brackets, only the C++ standard
# library: the outside world (GDAL, Qt, POSIX, the C library's system
# headers) is reached through the platform interfaces. Between quotes it may
# name headers by their path from the root; the include path decides which
# layers it sees, and ".." would step around it.

cmake_minimum_required(VERSION 3.25)

set(standard
  algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv chrono
  cinttypes climits clocale cmath codecvt compare complex concepts condition_variable coroutine csetjmp
  csignal cstdarg cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception
  execution filesystem format forward_list fstream functional future initializer_list iomanip ios
  iosfwd iostream istream iterator latch limits list locale map memory memory_resource mutex new
  numbers numeric optional ostream queue random ranges ratio regex scoped_allocator semaphore set
  shared_mutex source_location span sstream stack stdexcept stop_token streambuf string string_view
  syncstream system_error thread tuple type_traits typeindex typeinfo unordered_map unordered_set
  utility valarray variant vector version)

string(REPLACE "|" ";" folders "${FOLDERS}")
set(bad "")
foreach(folder IN LISTS folders)
  file(GLOB files ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(f IN LISTS files)
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH shown ${ROOT} ${f})
      if(line MATCHES "<([^>]*)>")
        if(NOT CMAKE_MATCH_1 IN_LIST standard)
          string(APPEND bad "\n  ${shown}: <${CMAKE_MATCH_1}> is not part of the C++ standard library")
        endif()
      elseif(line MATCHES "\"([^\"]*)\"")
        set(header "${CMAKE_MATCH_1}")
        if(header MATCHES "(^|/)\\.\\.(/|$)")
          string(APPEND bad "\n  ${shown}: \"${header}\" steps out of its folder")
        endif()
      else()
        string(APPEND bad "\n  ${shown}: '${line}' names no header the build can check")
      endif()
    endforeach()
  endforeach()
endforeach()

if(bad)
  message(FATAL_ERROR "the library core reaches the outside world only through platform/*.h:${bad}")
endif()
file(TOUCH ${STAMP})
