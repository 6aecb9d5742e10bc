# Fails when a core source includes a GDAL, Qt or POSIX header, or a back end.
set(forbidden "#include[ \t]*[<\"](gdal|ogr|cpl_|Q[A-Z]|qt|unistd|dirent|dlfcn|pwd|fcntl|sys/|platform/(gdal|qt|posix)/)")
file(GLOB_RECURSE sources
  ${ROOT}/interface/*.h ${ROOT}/interface/*.cpp ${ROOT}/browser/*.h ${ROOT}/browser/*.cpp
  ${ROOT}/catalogue/*.h ${ROOT}/catalogue/*.cpp ${ROOT}/connections/*.h ${ROOT}/connections/*.cpp
  ${ROOT}/support/*.h ${ROOT}/support/*.cpp)
# The platform interfaces themselves, without the back ends below them.
file(GLOB interfaces ${ROOT}/platform/*.h ${ROOT}/platform/*.cpp)
list(APPEND sources ${interfaces})
set(bad "")
foreach(f IN LISTS sources)
  if(f MATCHES "interface/DefaultPlatform\\.cpp$")
    continue() # assembles the back ends; compiled into the shared library only
  endif()
  file(STRINGS ${f} lines REGEX "${forbidden}")
  if(lines)
    list(APPEND bad "${f}: ${lines}")
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "core sources include outside headers:\n${bad}")
endif()
message(STATUS "core includes only platform interfaces")
