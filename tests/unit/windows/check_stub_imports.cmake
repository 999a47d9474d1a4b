# Fails when the stub imports a DLL other than the system ones it may rely on: everything else is
# linked in, since a setup.exe must run on a bare system and must not load DLLs from its folder.
#   cmake -DOBJDUMP=... -DSTUB=... -P check_stub_imports.cmake
cmake_minimum_required(VERSION 3.25)

set(allowed kernel32.dll user32.dll gdi32.dll comctl32.dll shell32.dll ole32.dll advapi32.dll
            crypt32.dll msvcrt.dll)

execute_process(COMMAND ${OBJDUMP} -p ${STUB} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${STUB} failed (${rc})")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${STUB}")
endif()
set(unexpected "")
foreach(line ${lines})
  string(REGEX REPLACE "^DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" lower)
  if(NOT lower IN_LIST allowed)
    list(APPEND unexpected ${name})
  endif()
endforeach()
if(unexpected)
  message(FATAL_ERROR "${STUB} imports DLLs outside the allowed system set: ${unexpected}")
endif()
list(LENGTH lines count)
message(STATUS "${count} imported DLLs, all system ones")
