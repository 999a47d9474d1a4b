# Writes the tool's man page from its own --help, so the two never drift: the summary from
# `msiboot --help`, each command's whole --help in a COMMANDS section, and the sections that
# --help has no room for (exit status, environment, files, examples) from SECTIONS.
#   cmake -DTOOL=path/to/msiboot -DSECTIONS=man_page_sections.h2m -DOUT=msiboot.1 -P man_page.cmake
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
  # roff: backslashes would be read as escapes, and a line's leading dot or quote would be a request
  # (\& before it keeps it text).
  string(REPLACE "\\" "\\e" text "\n${text}")
  string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" text "${text}")
  # The help's columns become paragraphs that man fills to the reader's width: each option or
  # positional (.TP) with its description, which starts in column 30 or, below a name too long for
  # that, on the next line; the Usage line and the headings of the option lists (.PP).
  string(REPEAT " " 30 description_column)
  string(REPEAT "[^\n]" 27 name_column)
  string(REGEX REPLACE "\n  ([^\n]+)\n${description_column}" "\n.TP\n\\\\&\\1\n\\\\&" text "${text}")
  string(REGEX REPLACE "\n  ([^ \n]${name_column})([^\n]*)" "\n.TP\n\\\\&\\1\n\\\\&\\2" text "${text}")
  string(REGEX REPLACE " +\n" "\n" text "${text}")
  string(REGEX REPLACE "\n(Usage:|[A-Z][a-z]+:\n)" "\n.PP\n\\1" text "${text}")
  string(REGEX REPLACE "\n\n+" "\n" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")  # a hyphen is a minus only when escaped
  string(APPEND include ".SS \"msiboot ${command}\"${text}")
endforeach()
file(READ "${SECTIONS}" sections)
string(FIND "${sections}" "\n[" start)  # its preamble says what the file is
string(SUBSTRING "${sections}" ${start} -1 sections)
file(WRITE "${OUT}.h2m" "${include}${sections}")
execute_process(
  COMMAND help2man --no-info --no-discard-stderr --section 1 --include "${OUT}.h2m" --output "${OUT}" "${TOOL}"
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "help2man failed")
endif()
