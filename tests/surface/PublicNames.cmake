# The shared library shows a host its public names only: the in-process
# entry points and the members of CLayerFunctionExport.
#   cmake -DLIBRARY=<libmarbrook.so> -DNM=<nm> -P PublicNames.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${NM} -D --defined-only --demangle ${LIBRARY}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} cannot read ${LIBRARY}: ${err}")
endif()

set(public DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer)
string(REPLACE "\n" ";" lines "${out}")
set(found "")
set(strangers "")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  # "<address> <kind> <name>"
  string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" name "${line}")
  if(name IN_LIST public OR name MATCHES "^marbrook::CLayerFunctionExport::")
    list(APPEND found "${name}")
  else()
    string(APPEND strangers "\n  ${line}")
  endif()
endforeach()

if(strangers)
  message(FATAL_ERROR "libmarbrook shows names that are not public:${strangers}")
endif()
foreach(name IN LISTS public)
  if(NOT name IN_LIST found)
    message(FATAL_ERROR "libmarbrook does not show the entry point ${name}")
  endif()
endforeach()
foreach(member GetLayersByDlg AddLayerForMap ResetLayerSource SetFLayerSource "CLayerFunctionExport()")
  string(FIND "${found}" "CLayerFunctionExport::${member}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "libmarbrook does not show CLayerFunctionExport::${member}")
  endif()
endforeach()
list(LENGTH found n)
message(STATUS "libmarbrook shows ${n} names, all public")
