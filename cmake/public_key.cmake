# The payload public key compiled into the stub: a 276-byte RSA-2048 PUBLICKEYBLOB.
set(MSIBOOT_TEST_PUBLIC_KEY "${CMAKE_SOURCE_DIR}/tests/keys/test-payload-key.blob")
set(MSIBOOT_PUBLIC_KEY "${MSIBOOT_TEST_PUBLIC_KEY}" CACHE FILEPATH
    "PUBLICKEYBLOB (276 bytes) whose private half signs the payloads this stub accepts")

file(SIZE "${MSIBOOT_PUBLIC_KEY}" key_size)
if(NOT key_size EQUAL 276)
  message(FATAL_ERROR "MSIBOOT_PUBLIC_KEY ${MSIBOOT_PUBLIC_KEY} holds ${key_size} bytes, not 276")
endif()
file(REAL_PATH "${MSIBOOT_PUBLIC_KEY}" key_real)
file(REAL_PATH "${MSIBOOT_TEST_PUBLIC_KEY}" test_key_real)
if(key_real STREQUAL test_key_real)
  message(WARNING "The stub trusts the public TEST key in tests/keys: anyone can sign payloads for "
                  "it. Ship msiboot-stub-unstamped.exe stamped with your key (msiboot stub, or msiboot "
                  "pack does it), or build with -DMSIBOOT_PUBLIC_KEY=<your key.blob>.")
endif()

file(READ "${MSIBOOT_PUBLIC_KEY}" key_hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," key_bytes "${key_hex}")
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/generated/payload_public_key.inc"
     CONTENT "// Generated from ${MSIBOOT_PUBLIC_KEY}\n${key_bytes}\n")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${MSIBOOT_PUBLIC_KEY}")
