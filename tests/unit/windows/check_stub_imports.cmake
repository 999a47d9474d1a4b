# Fails when the stub imports a DLL that is not a KnownDLL (the ones every Windows since 7 maps
# from the system directory): the loader would look for any other beside the setup.exe before
# WinMain locks the DLL search.
#   cmake -DOBJDUMP=... -DSTUB=... -P check_stub_imports.cmake
cmake_minimum_required(VERSION 3.25)

set(allowed advapi32.dll clbcatq.dll comdlg32.dll gdi32.dll imagehlp.dll imm32.dll kernel32.dll
            msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll oleaut32.dll psapi.dll rpcrt4.dll
            setupapi.dll shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll)

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
  message(FATAL_ERROR "${STUB} imports DLLs that are not KnownDLLs: ${unexpected}")
endif()
list(LENGTH lines count)
message(STATUS "${count} imported DLLs, all KnownDLLs")
