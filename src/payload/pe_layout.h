#pragma once
// Where the fields of a PE32+ image lie, for the stub's signature-table reader and the tool's
// readers and writers of the same files: offsets in the DOS header, then from the NT headers
// (e_lfanew), then from the optional header, which starts after the 4-byte signature and the
// 20-byte file header.
#include <cstdint>

namespace pe_layout {

constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kNtHeadersOffsetField = 0x3C;  // e_lfanew
constexpr uint32_t kPeSignature = 0x00004550;     // "PE\0\0"

// From the NT headers.
constexpr uint32_t kSectionCountField = 6;         // u16, in the file header
constexpr uint32_t kOptionalHeaderSizeField = 20;  // u16, in the file header
constexpr uint32_t kOptionalHeader = 24;
// The signature, the file header and a whole PE32+ optional header with its data directories.
constexpr uint32_t kNtHeadersSize = 264;

// From the optional header.
constexpr uint16_t kPe32PlusMagic = 0x20B;              // its first u16
constexpr uint32_t kInitializedDataSizeField = 8;       // SizeOfInitializedData
constexpr uint32_t kEntryPointField = 16;               // AddressOfEntryPoint
constexpr uint32_t kSectionAlignmentField = 32;
constexpr uint32_t kFileAlignmentField = 36;
constexpr uint32_t kImageSizeField = 56;                // SizeOfImage
constexpr uint32_t kHeadersSizeField = 60;              // SizeOfHeaders
constexpr uint32_t kChecksumField = 64;                 // CheckSum
constexpr uint32_t kChecksumSize = 4;
constexpr uint32_t kDirectoryCountField = 108;          // NumberOfRvaAndSizes
constexpr uint32_t kDirectoriesField = 112;             // the data directories: rva, then size
constexpr uint32_t kDirectorySize = 8;
constexpr uint32_t kDirectoryCount = 16;  // the data directories a PE32+ optional header defines

// Data directories by index.
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;  // its "rva" is a file offset
constexpr uint32_t kRelocationDirectory = 5;
constexpr uint32_t kSecurityDirectoryField = kDirectoriesField + kSecurityDirectory * kDirectorySize;

// Each section header, from the end of the optional header.
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionVirtualSizeField = 8;
constexpr uint32_t kSectionAddressField = 12;  // its rva
constexpr uint32_t kSectionRawSizeField = 16;
constexpr uint32_t kSectionRawOffsetField = 20;

// The resource section's tree: a directory is a 16-byte header (the counts of its named and its
// numbered entries at 12 and 14), then its 8-byte entries (a name or id field, then the offset of
// a subdirectory, its high bit set, or of a 16-byte data entry: rva, size, code page, reserved).
constexpr uint32_t kResourceDirectoryHeader = 16;
constexpr uint32_t kResourceNamedCountField = 12;
constexpr uint32_t kResourceIdCountField = 14;
constexpr uint32_t kResourceDirectoryEntry = 8;
constexpr uint32_t kResourceDataEntry = 16;
constexpr uint32_t kResourceSubdirectoryBit = 0x80000000;  // also marks a name field as a name
// Resource types.
constexpr uint16_t kResourceIcon = 3;
constexpr uint16_t kResourceString = 6;
constexpr uint16_t kResourceGroupIcon = 14;
constexpr uint16_t kResourceVersion = 16;

// A WIN_CERTIFICATE entry: dwLength, wRevision, wCertificateType, then the certificate. Entries
// are 8-byte aligned, dwLength counting the padding.
constexpr uint32_t kWinCertificateHeader = 8;
constexpr uint32_t kWinCertificateAlignment = 8;
constexpr uint16_t kWinCertificateRevision2 = 0x0200;
constexpr uint16_t kWinCertificatePkcsSignedData = 0x0002;

}  // namespace pe_layout
