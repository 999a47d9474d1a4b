#include "inspect/status_meaning.h"

#include <cstdio>

#include "payload/container.h"
#include "payload/package_choice.h"
#include "payload/payload_discovery.h"
#include "payload/signature_table.h"

namespace msiboot_tool {
namespace {

struct SiteMeaning {
  uint32_t site;
  const char* meaning;
  const char* remedy;
};

constexpr char kRepack[] = "pack the setup.exe again: it was changed or damaged after packing";
constexpr char kKeys[] =
    "pack with the payload key the stub trusts, or stamp the stub with the key you pack with (msiboot stub, or "
    "pack --key into an unsigned stub)";
constexpr char kNoKey[] =
    "the stub holds no usable public key: its key slot is empty (the stub trusts no key until one is stamped) "
    "or damaged";
constexpr char kStamp[] =
    "stamp your payload key into the stub (msiboot stub --key KEY.pem) before signing it, or let pack stamp an "
    "unsigned stub";
constexpr char kBadSignature[] =
    "the setup.exe's Authenticode signature cannot be decoded, so the stub stops looking for its payload";
constexpr char kResign[] =
    "sign the stub again with a standard signing tool and pack into it, or pack into an unsigned stub";
constexpr char kMemory[] = "the stub ran out of memory while reading its payload";
constexpr char kSmaller[] =
    "make the setup.exe smaller: the stub holds the whole file and the chosen package in memory";

const SiteMeaning kMeanings[] = {
    {kSiteRecordNotFound,
     "a record the stub looks for is not there: no manifest record ends the container (for a container appended "
     "to the file, the file's very end), or a record the manifest names is missing",
     "pack the setup.exe again; to sign it, pack into the signed stub (--placement certificate or signature-tail) "
     "instead of signing after packing"},
    {kSiteManifestInflate,
     "the manifest record does not inflate: its bytes are damaged, or it inflates past the 1 MiB the stub allows "
     "a manifest",
     kRepack},
    {kSiteManifestVerify,
     "the manifest record's signature does not verify against the key the stub trusts: it was signed with "
     "another key, or changed after signing",
     kKeys},
    {kSiteManifestKey, kNoKey, kStamp},
    {kSiteFileInflate,
     "a file record does not inflate: its bytes are damaged, or it inflates past the size its manifest entry "
     "binds",
     kRepack},
    {kSiteFileVerify,
     "a file record's signature does not verify against the key the stub trusts: it was signed with another "
     "key or changed after signing (a file record without data is refused as unverifiable)",
     kKeys},
    {kSiteFileKey, kNoKey, kStamp},
    {kSitePackageChoice,
     "no x64 package fits the user's language, or the chosen package and its cabinets cannot be delivered: a "
     "record missing, damaged or not the one its entry was packed with, an entry without its binding, a folder or "
     "file name that is not a plain file name, or one name listed twice with different contents",
     "list the language in a package (pack --languages), or add an x64 package listing 1033, the language every "
     "other locale falls back to; when a record is at fault, pack again"},
    {kSiteMessageOpen, kBadSignature, kResign},
    {kSiteMessageUpdate, kBadSignature, kResign},
    {kSiteCertificateCount, kBadSignature, kResign},
    {kSiteCertificateSize, kBadSignature, kResign},
    {kSiteCertificateFetch, kBadSignature, kResign},
    {kSiteCertificateParse, kBadSignature, kResign},
    {kSiteCertificateMemory, kMemory, kSmaller},
    {kSiteCarrierMemory, kMemory, kSmaller},
    {kSiteCarrierAppend, kMemory, kSmaller},
    {kSiteManifestCopy, kMemory, kSmaller},
    {kSiteFileCopy, kMemory, kSmaller},
    {kSiteFallbackAppend, kMemory, kSmaller},
};

}  // namespace

StatusMeaning status_meaning(Status status) {
  if (!status_failed(status)) return {"succeeds", ""};
  for (const SiteMeaning& known : kMeanings) {
    if (known.site == status_site(status)) return {known.meaning, known.remedy};
  }
  return {"the stub fails with " + status_text(status), ""};
}

std::string status_text(Status status) {
  // Result values with the high bit set (0x80090003) are known by their hexadecimal form.
  char code[16];
  std::snprintf(code, sizeof code, status_code(status) >= 0x80000000u ? "0x%08X" : "%u", status_code(status));
  return "code " + std::string(code) + " at site " + std::to_string(status_site(status));
}

}  // namespace msiboot_tool
