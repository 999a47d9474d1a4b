# Builds the stub again from the same source and key in another folder and fails unless the two
# are the same bytes: no timestamp and no build path may reach the image.
#   cmake -DSOURCE=... -DFOLDER=... -DTOOLCHAIN=... -DBUILD_TYPE=... -DKEY=... -DSTUB=...
#         -P check_stub_reproducible.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${FOLDER}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${FOLDER}" -G Ninja
          "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}" "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}"
          "-DMSIBOOT_PUBLIC_KEY=${KEY}" -DMSIBOOT_BENCH=OFF
  OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE rc)
if(rc EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build "${FOLDER}" --target msiboot-stub -j 2
                  OUTPUT_VARIABLE log ERROR_VARIABLE log RESULT_VARIABLE rc)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the second build failed:\n${log}")
endif()
file(SHA256 "${STUB}" first)
file(SHA256 "${FOLDER}/src/msiboot-stub.exe" second)
file(REMOVE_RECURSE "${FOLDER}")
if(NOT first STREQUAL second)
  message(FATAL_ERROR "the stub built in ${FOLDER} differs from ${STUB}")
endif()
message(STATUS "the stub built in another folder is byte-identical (sha256 ${first})")
