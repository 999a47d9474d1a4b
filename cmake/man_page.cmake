# Writes the tool's man page from its own --help, so the two never drift: the summary from
# `msiboot --help`, then each command's whole --help in a COMMANDS section.
#   cmake -DTOOL=path/to/msiboot -DOUT=msiboot.1 -P man_page.cmake
execute_process(COMMAND "${TOOL}" --help OUTPUT_VARIABLE top RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${TOOL} --help failed")
endif()
set(include "[NAME]\nmsiboot \\- builds self-extracting setup.exe files for Windows Installer packages\n[COMMANDS]\n")
foreach(command keygen stub pack inspect extract help)
  execute_process(COMMAND "${TOOL}" ${command} --help OUTPUT_VARIABLE text RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${TOOL} ${command} --help failed")
  endif()
  # roff: a leading dot or quote would be read as a request, and backslashes as escapes.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" text "${text}")
  string(APPEND include ".SS \"msiboot ${command}\"\n.nf\n${text}.fi\n")
endforeach()
file(WRITE "${OUT}.h2m" "${include}")
execute_process(
  COMMAND help2man --no-info --no-discard-stderr --section 1 --include "${OUT}.h2m" --output "${OUT}" "${TOOL}"
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "help2man failed")
endif()
