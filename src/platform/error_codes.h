#pragma once
// The system error codes this program reports, named for what they mean here. They are the
// platform's own values, so the final message box can show the system's text for each.
#include <cstdint>

constexpr uint32_t kErrorNotEnoughMemory = 8;      // ERROR_NOT_ENOUGH_MEMORY
constexpr uint32_t kErrorInvalidData = 13;         // ERROR_INVALID_DATA
constexpr uint32_t kErrorWriteFault = 29;          // ERROR_WRITE_FAULT
constexpr uint32_t kErrorReadFault = 30;           // ERROR_READ_FAULT
constexpr uint32_t kErrorNoProcessSlots = 89;      // ERROR_NO_PROC_SLOTS
constexpr uint32_t kErrorOpenFailed = 110;         // ERROR_OPEN_FAILED
constexpr uint32_t kErrorCallNotImplemented = 120; // ERROR_CALL_NOT_IMPLEMENTED
constexpr uint32_t kErrorSeekOnDevice = 132;       // ERROR_SEEK_ON_DEVICE
constexpr uint32_t kErrorFilenameTooLong = 206;    // ERROR_FILENAME_EXCED_RANGE
constexpr uint32_t kErrorMoreData = 234;           // ERROR_MORE_DATA
constexpr uint32_t kErrorNoAssociation = 1155;     // ERROR_NO_ASSOCIATION
constexpr uint32_t kErrorNoUnicodeTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION
constexpr uint32_t kErrorNotFound = 1168;          // ERROR_NOT_FOUND
constexpr uint32_t kErrorCancelled = 1223;         // ERROR_CANCELLED
constexpr uint32_t kErrorFileCorrupt = 1392;       // ERROR_FILE_CORRUPT
constexpr uint32_t kErrorInstallServiceFailure = 1601;  // ERROR_INSTALL_SERVICE_FAILURE
constexpr uint32_t kErrorCantResolveFilename = 1921;    // ERROR_CANT_RESOLVE_FILENAME
constexpr uint32_t kErrorInvalidArgument = 0x80070057;  // E_INVALIDARG
constexpr uint32_t kErrorBadKey = 0x80090003;           // NTE_BAD_KEY
