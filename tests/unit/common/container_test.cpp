// find_record on containers from the container writer: the backward walk, content delivery as the
// flags say, and every failure with its code and site. Runs in both builds.
#include "payload/container.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/container_fixtures.h"
#include "payload/payload_public_key.h"
#include "platform/heap.h"
#include "platform/signature.h"
#include "platform/error_codes.h"
#ifndef _WIN32
#include "payload/record_stream.h"
#endif

namespace {

using fixtures::TestRecord;
using fixtures::RecordFault;
using fixtures::file_record;
using fixtures::manifest_record;

constexpr uint32_t kFlagsAll = kPayloadCompressed | kPayloadSigned;
constexpr uint32_t kManifest = UINT32_MAX;  // lookup id meaning "the manifest, id 0"

struct Outcome {
  uint32_t code;
  uint32_t site;
  Bytes content;
};

#ifndef _WIN32
bool append_piece(const uint8_t* bytes, uint32_t length, void* context) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), bytes, bytes + length);
  return true;
}

// The tool's piece-by-piece lookup of the same record: the same code and site as the whole
// lookup, and on success the same content, delivered in order.
void expect_streamed_alike(const PayloadBlob& blob, const RecordType& type, uint32_t id,
                           const RecordBinding* binding, const Bytes& key, const Status& whole,
                           const Bytes& content, uint32_t unbound_cap = UINT32_MAX) {
  Bytes streamed;
  StreamedRecord record = {append_piece, &streamed, unbound_cap, 0};
  Status status = stream_record(blob, type, id, binding, key.data(),
                                static_cast<uint32_t>(key.size()), record);
  EXPECT_EQ(status_code(status), status_code(whole)) << "streamed";
  if (status_failed(whole)) {
    EXPECT_EQ(status_site(status), status_site(whole)) << "streamed";
  } else {
    EXPECT_EQ(streamed, content) << "streamed";
    EXPECT_EQ(record.length, content.size());
  }
}
#else
void expect_streamed_alike(const PayloadBlob&, const RecordType&, uint32_t, const RecordBinding*,
                           const Bytes&, const Status&, const Bytes&, uint32_t = UINT32_MAX) {}
#endif

// Looks a record up with the test key and checks the output contract on the way: the file record
// id, or the manifest for kManifest, unless another record type is given.
Outcome look_up(Bytes bytes, uint32_t flags, uint32_t id, const Bytes& key = fixtures::public_key(),
                const RecordType* type = nullptr) {
  PayloadBlob blob = fixtures::blob_of(bytes, flags);
  const PayloadBlob before = blob;
  const Bytes copy = bytes;
  size_t live = fixtures::live_heap_blocks();
  uint8_t* content = reinterpret_cast<uint8_t*>(1);
  uint32_t length = 12345;
  if (type == nullptr) type = id == kManifest ? &ManifestRecordType : &FileRecordType;
  Status status = find_record_with_key(blob, *type, id == kManifest ? 0 : id, key.data(),
                                       static_cast<uint32_t>(key.size()), &content, &length);
  Outcome outcome{status_code(status), status_site(status), {}};
  EXPECT_EQ(bytes, copy) << "the container must not change";
  EXPECT_EQ(blob.data, before.data);
  EXPECT_EQ(blob.size, before.size);
  if (status_failed(status)) {
    EXPECT_EQ(content, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(fixtures::live_heap_blocks(), live) << "a failed lookup left a block allocated";
  } else {
    EXPECT_NE(content, nullptr);
    outcome.content.assign(content, content + length);
    heap_free(content);
  }
  expect_streamed_alike(blob, *type, id == kManifest ? 0 : id, nullptr, key, status, outcome.content);
  return outcome;
}

// A trailer alone, for walks the writer cannot make on its own.
Bytes trailer(const RecordType& type, uint32_t id, uint32_t signature_length, uint32_t data_length) {
  Bytes bytes;
  msiboot_tool::append_trailer(bytes, type, id, signature_length, data_length);
  return bytes;
}

struct Case {
  const char* name;
  Bytes container;
  uint32_t flags;
  uint32_t id;
  uint32_t code;
  uint32_t site;
  Bytes content;  // expected on success
  const RecordType* type = nullptr;  // another record type to ask for
};

const RecordType kOtherType = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

std::vector<Case> cases() {
  const Bytes manifest = fixtures::content("manifest");
  const Bytes package = fixtures::content("package");
  const Bytes cabinet = fixtures::content("cabinet");
  const Bytes typical = fixtures::container(
      {manifest_record(), file_record(1000, "package"), file_record(1001, "cabinet")});
  auto with_file = [](RecordFault fault, const char* name = "package") {
    return fixtures::container({manifest_record(), file_record(1000, name, fault)});
  };
  auto with_manifest = [](RecordFault fault) {
    return fixtures::container({manifest_record(fault), file_record(1000, "package")});
  };
  const Bytes foreign_last =
      fixtures::container({manifest_record(), file_record(1000, "package"),
                           file_record(1001, "cabinet", RecordFault::ForeignTrailerType)});
  const Bytes file_before_manifest = fixtures::container(
      {file_record(1002, "cabinet"), manifest_record(), file_record(1000, "package")});
  const Bytes small_ids = fixtures::container({manifest_record(), file_record(0, "package")});
  const Bytes second_manifest = fixtures::container(
      {manifest_record(), TestRecord{true, 7, fixtures::content("package")}});
  // A file trailer with no fields whose signature length runs past the start: the walk reads the
  // next trailer from the 28 bytes just before it, which here is the package's trailer.
  const Bytes signature_past_start = joined(with_file(RecordFault::None), trailer(FileRecordType, 2000, UINT32_MAX, 0));
  // A 256-byte signature field whose data length runs past the start: the walk goes on from the
  // start of that signature field, where the package's trailer ends.
  const Bytes data_past_start =
      joined(joined(with_file(RecordFault::None), Bytes(256, 0x5A)), trailer(FileRecordType, 2000, 256, UINT32_MAX));
  const Bytes flags1 = fixtures::container({manifest_record(RecordFault::Unsigned),
                                            file_record(1000, "package", RecordFault::Unsigned),
                                            file_record(1001, "cabinet", RecordFault::DataInSignature)});
  const Bytes flags2 = fixtures::container({manifest_record(RecordFault::Stored),
                                            file_record(1000, "package", RecordFault::Stored),
                                            file_record(1001, "cabinet", RecordFault::DataInSignature)});
  const Bytes flags0 = fixtures::container(
      {manifest_record(RecordFault::StoredUnsigned),
       file_record(1000, "package", RecordFault::StoredUnsigned),
       file_record(1001, "cabinet", RecordFault::DataInSignature),
       TestRecord{false, 1002, Bytes{}, RecordFault::DataInSignature}});

  return {
      {"manifest", typical, kFlagsAll, kManifest, 0, 0, manifest},
      {"first file", typical, kFlagsAll, 1000, 0, 0, package},
      {"last file", typical, kFlagsAll, 1001, 0, 0, cabinet},
      {"empty container", {}, kFlagsAll, kManifest, kErrorNotFound, kSiteRecordNotFound, {}},
      {"27 bytes", Bytes(27, 0), kFlagsAll, kManifest, kErrorNotFound, kSiteRecordNotFound, {}},
      {"trailer alone with no fields", trailer(ManifestRecordType, 0, 0, 0), 0, kManifest, 0, 0, {}},
      {"no such file id", typical, kFlagsAll, 999, kErrorNotFound, kSiteRecordNotFound, {}},
      {"file id 0 is not the manifest", typical, kFlagsAll, 0, kErrorNotFound, kSiteRecordNotFound, {}},
      {"foreign trailer last hides the manifest", foreign_last, kFlagsAll, kManifest, kErrorNotFound, kSiteRecordNotFound, {}},
      {"foreign trailer last hides a file", foreign_last, kFlagsAll, 1000, kErrorNotFound, kSiteRecordNotFound, {}},
      {"file in front of the manifest", file_before_manifest, kFlagsAll, 1002, kErrorNotFound, kSiteRecordNotFound, {}},
      {"file after the manifest", file_before_manifest, kFlagsAll, 1000, 0, 0, package},
      {"manifest type asked with a file's id", with_file(RecordFault::None), kFlagsAll, 1000, kErrorNotFound,
       kSiteRecordNotFound, {}, &ManifestRecordType},
      {"another record type", small_ids, kFlagsAll, 0, kErrorNotFound, kSiteRecordNotFound, {}, &kOtherType},
      {"file id 0 next to the manifest", small_ids, kFlagsAll, 0, 0, 0, package},
      {"first manifest trailer decides", second_manifest, kFlagsAll, kManifest, kErrorNotFound, kSiteRecordNotFound, {}},
      {"manifest data length past start", with_manifest(RecordFault::DataLengthPastStart), kFlagsAll,
       kManifest, kErrorNotFound, kSiteRecordNotFound, {}},
      {"manifest signature length past start",
       fixtures::container({manifest_record(RecordFault::SignatureLengthPastStart)}), kFlagsAll,
       kManifest, kErrorNotFound, kSiteRecordNotFound, {}},
      {"file signature past start: trailer just before", signature_past_start, kFlagsAll, 1000, 0,
       0, package},
      {"file signature past start: itself not found", signature_past_start, kFlagsAll, 2000, kErrorNotFound,
       kSiteRecordNotFound, {}},
      {"file data past start: passed over", data_past_start, kFlagsAll, 1000, 0, 0, package},
      {"file data past start: itself not found", data_past_start, kFlagsAll, 2000, kErrorNotFound, kSiteRecordNotFound, {}},
      {"file signature past start in front of nothing",
       with_file(RecordFault::SignatureLengthPastStart), kFlagsAll, 1000, kErrorNotFound, kSiteRecordNotFound, {}},
      {"file data length one too long", with_file(RecordFault::WrongDataLength), kFlagsAll, 1000,
       kErrorInvalidData, kSiteFileInflate, {}},
      {"walk misled by a wrong data length", with_file(RecordFault::WrongDataLength), kFlagsAll,
       kManifest, kErrorNotFound, kSiteRecordNotFound, {}},
      {"file signature length one too long", with_file(RecordFault::WrongSignatureLength),
       kFlagsAll, 1000, kErrorInvalidData, kSiteFileInflate, {}},
      {"manifest stream cut short", with_manifest(RecordFault::TruncatedStream), kFlagsAll,
       kManifest, kErrorInvalidData, kSiteManifestInflate, {}},
      {"file stream cut short", with_file(RecordFault::TruncatedStream), kFlagsAll, 1000, kErrorInvalidData, kSiteFileInflate,
       {}},
      {"manifest stored uncompressed", with_manifest(RecordFault::Stored), kFlagsAll, kManifest, kErrorInvalidData,
       kSiteManifestInflate, {}},
      {"bytes after the file stream", with_file(RecordFault::TrailingBytes), kFlagsAll, 1000, 0, 0,
       package},
      {"bytes after the manifest stream", with_manifest(RecordFault::TrailingBytes), kFlagsAll,
       kManifest, 0, 0, manifest},
      {"manifest unsigned", with_manifest(RecordFault::Unsigned), kFlagsAll, kManifest, kErrorFileCorrupt, kSiteManifestVerify,
       {}},
      {"manifest tampered", with_manifest(RecordFault::TamperedContent), kFlagsAll, kManifest, kErrorFileCorrupt,
       kSiteManifestVerify, {}},
      {"manifest signed over its stream", with_manifest(RecordFault::SignatureOverCompressed),
       kFlagsAll, kManifest, kErrorFileCorrupt, kSiteManifestVerify, {}},
      {"manifest signature of 255 bytes", with_manifest(RecordFault::Signature255), kFlagsAll,
       kManifest, kErrorFileCorrupt, kSiteManifestVerify, {}},
      {"manifest signature of 257 bytes", with_manifest(RecordFault::Signature257), kFlagsAll,
       kManifest, kErrorFileCorrupt, kSiteManifestVerify, {}},
      {"file unsigned", with_file(RecordFault::Unsigned), kFlagsAll, 1000, kErrorFileCorrupt, kSiteFileVerify, {}},
      {"file tampered", with_file(RecordFault::TamperedContent), kFlagsAll, 1000, kErrorFileCorrupt, kSiteFileVerify, {}},
      {"file signed over its stream", with_file(RecordFault::SignatureOverCompressed), kFlagsAll,
       1000, kErrorFileCorrupt, kSiteFileVerify, {}},
      {"file signature of 255 bytes", with_file(RecordFault::Signature255), kFlagsAll, 1000, kErrorFileCorrupt,
       kSiteFileVerify, {}},
      {"file signature of 257 bytes", with_file(RecordFault::Signature257), kFlagsAll, 1000, kErrorFileCorrupt,
       kSiteFileVerify, {}},
      {"empty content signed", with_file(RecordFault::None, "empty"), kFlagsAll, 1000, 0, 0, {}},
      // Content held in a signature field can never be verified: refused in signed containers.
      {"file held in its signature field, flags 3", with_file(RecordFault::DataInSignature),
       kFlagsAll, 1000, kErrorFileCorrupt, kSiteFileVerify, {}},
      {"file held in its signature field, flags 2", flags2, kPayloadSigned, 1001, kErrorFileCorrupt, kSiteFileVerify, {}},
      {"manifest with no data, flags 3", with_manifest(RecordFault::DataInSignature), kFlagsAll,
       kManifest, kErrorInvalidData, kSiteManifestInflate, {}},
      {"flags 2 manifest", flags2, kPayloadSigned, kManifest, 0, 0, manifest},
      {"flags 2 file", flags2, kPayloadSigned, 1000, 0, 0, package},
      {"flags 2 refuses a compressed stream", with_manifest(RecordFault::None), kPayloadSigned,
       kManifest, kErrorFileCorrupt, kSiteManifestVerify, {}},
      {"flags 1 manifest", flags1, kPayloadCompressed, kManifest, 0, 0, manifest},
      {"flags 1 file", flags1, kPayloadCompressed, 1000, 0, 0, package},
      {"flags 1 file with no data is an empty stream", flags1, kPayloadCompressed, 1001, kErrorInvalidData, kSiteFileInflate,
       {}},
      {"flags 1 ignores a bad signature", with_file(RecordFault::TamperedContent),
       kPayloadCompressed, 1000, 0, 0, [&] {
         Bytes changed = package;
         changed.back() ^= 0x01;
         return changed;
       }()},
      {"flags 0 manifest", flags0, 0, kManifest, 0, 0, manifest},
      {"flags 0 file", flags0, 0, 1000, 0, 0, package},
      {"flags 0 file with no data", flags0, 0, 1002, 0, 0, {}},
      {"flags 0 does not take content from the signature field", flags0, 0, 1001, 0, 0, {}},
  };
}

TEST(FindRecord, EveryCaseGivesItsCodeSiteAndContent) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    Outcome outcome = look_up(c.container, c.flags, c.id, fixtures::public_key(), c.type);
    EXPECT_EQ(outcome.code, c.code);
    if (c.code != 0) {
      EXPECT_EQ(outcome.site, c.site);
    } else {
      EXPECT_EQ(outcome.content, c.content);
    }
  }
}

TEST(FindRecord, KeyThatCannotBeDecodedFailsWithItsOwnSite) {
  const Bytes container = fixtures::container({manifest_record(), file_record(1000, "package")});
  Bytes broken = fixtures::public_key();
  broken[8] ^= 0xFF;  // the RSA magic number
  Outcome manifest = look_up(container, kFlagsAll, kManifest, broken);
  EXPECT_EQ(manifest.code, 0x80090003u);
  EXPECT_EQ(manifest.site, kSiteManifestKey);
  Outcome file = look_up(container, kFlagsAll, 1000, broken);
  EXPECT_EQ(file.code, 0x80090003u);
  EXPECT_EQ(file.site, kSiteFileKey);
  // Without the Signed flag the key is never needed.
  EXPECT_EQ(look_up(container, kPayloadCompressed, 1000, broken).code, 0u);
}

TEST(FindRecord, BuiltInKeyChecksSignedRecords) {
  uint8_t built_in[kPayloadPublicKeySize];
  build_payload_public_key(built_in);
  if (Bytes(built_in, built_in + sizeof built_in) != fixtures::public_key()) {
    GTEST_SKIP() << "this build trusts another payload key than the test key";
  }
  Bytes container = fixtures::container({manifest_record(), file_record(1000, "cabinet"),
                                         file_record(1001, "package", RecordFault::TamperedContent)});
  PayloadBlob blob = fixtures::blob_of(container, kFlagsAll);
  uint8_t* content = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(status_code(find_record(blob, FileRecordType, 1000, &content, &length)), 0u);
  EXPECT_EQ(Bytes(content, content + length), fixtures::content("cabinet"));
  heap_free(content);
  Status status = find_record(blob, FileRecordType, 1001, &content, &length);
  EXPECT_EQ(status_code(status), 1392u);
  EXPECT_EQ(status_site(status), kSiteFileVerify);
}

TEST(FindRecord, AManifestInflatesNoFurtherThanItsCap) {
  for (uint32_t size : {kManifestInflateCap, kManifestInflateCap + 1}) {
    SCOPED_TRACE(size);
    const Bytes content(size, 'm');
    const Bytes container = fixtures::container({TestRecord{true, 0, content, RecordFault::Unsigned}});
    Outcome manifest = look_up(container, kPayloadCompressed, kManifest);
    EXPECT_EQ(manifest.code, size <= kManifestInflateCap ? 0u : 13u);
    if (manifest.code != 0) {
      EXPECT_EQ(manifest.site, kSiteManifestInflate);
    }
    // A file record has no such cap.
    const Bytes as_file = fixtures::container({TestRecord{false, 1000, content, RecordFault::Unsigned}});
    EXPECT_EQ(look_up(as_file, kPayloadCompressed, 1000).content, content);
    // Unbound, the tool follows it no further than the cap it is given.
    Bytes copy = as_file;
    expect_streamed_alike(fixtures::blob_of(copy, kPayloadCompressed), FileRecordType, 1000, nullptr,
                          fixtures::public_key(),
                          size <= kManifestInflateCap ? 0 : status_of(13, kSiteFileInflate), content,
                          kManifestInflateCap);
  }
}

// find_bound_record with the binding of content: its digest, and a size (content's by default).
Outcome look_up_bound(Bytes bytes, uint32_t flags, uint32_t id, const Bytes& bound_content,
                      int64_t size = -1, uint32_t state = kBindingPresent) {
  RecordBinding binding = {};
  binding.state = state;
  binding.size = size < 0 ? static_cast<uint32_t>(bound_content.size()) : static_cast<uint32_t>(size);
  EXPECT_TRUE(content_sha256(bound_content.data(), static_cast<uint32_t>(bound_content.size()),
                             binding.digest));
  PayloadBlob blob = fixtures::blob_of(bytes, flags);
  size_t live = fixtures::live_heap_blocks();
  uint8_t* content = nullptr;
  uint32_t length = 0;
  Bytes key = fixtures::public_key();
  Status status = find_bound_record(blob, id, binding, key.data(), static_cast<uint32_t>(key.size()),
                                    &content, &length);
  Outcome outcome{status_code(status), status_site(status), {}};
  if (status_failed(status)) {
    EXPECT_EQ(content, nullptr);
    EXPECT_EQ(fixtures::live_heap_blocks(), live);
  } else {
    outcome.content.assign(content, content + length);
    heap_free(content);
  }
  expect_streamed_alike(blob, FileRecordType, id, &binding, key, status, outcome.content);
  return outcome;
}

TEST(FindRecord, ABoundRecordMustBeTheOneItsEntryNames) {
  const Bytes package = fixtures::content("package");
  const Bytes cabinet = fixtures::content("cabinet");
  const Bytes container = fixtures::container(
      {manifest_record(), file_record(1000, "package"), file_record(1001, "cabinet")});
  for (uint32_t flags : {kFlagsAll, static_cast<uint32_t>(kPayloadCompressed)}) {
    SCOPED_TRACE(flags);
    EXPECT_EQ(look_up_bound(container, flags, 1000, package).content, package);
    EXPECT_EQ(look_up_bound(container, flags, 1001, cabinet).content, cabinet);
    // Records swapped between ids: each signature valid, neither the entry's record. The longer
    // one is inflated no further than its entry's size.
    Outcome longer = look_up_bound(container, flags, 1000, cabinet);
    EXPECT_EQ(longer.code, kErrorInvalidData);
    EXPECT_EQ(longer.site, kSiteFileInflate);
    Outcome shorter = look_up_bound(container, flags, 1001, package);
    EXPECT_EQ(shorter.code, kErrorInvalidData);
    EXPECT_EQ(shorter.site, kSiteRecordBinding);
    // The right digest with a size too small or too large, and a malformed binding.
    EXPECT_EQ(look_up_bound(container, flags, 1000, package, 5999).code, kErrorInvalidData);
    EXPECT_EQ(look_up_bound(container, flags, 1000, package, 6001).code, kErrorInvalidData);
    // A malformed or absent binding is refused before the record is looked for.
    for (uint32_t state : {kBindingMalformed, kBindingAbsent}) {
      Outcome unbound = look_up_bound(container, flags, 1000, package, -1, state);
      EXPECT_EQ(unbound.code, kErrorInvalidData);
      EXPECT_EQ(unbound.site, kSiteRecordBinding);
    }
  }
  // A tampered record still fails its signature first.
  const Bytes tampered = fixtures::container(
      {manifest_record(), file_record(1000, "package", RecordFault::TamperedContent)});
  EXPECT_EQ(look_up_bound(tampered, kFlagsAll, 1000, package).code, kErrorFileCorrupt);
}

TEST(ContentDigest, IsSha256) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  uint8_t digest[kSha256Size] = {};
  ASSERT_TRUE(content_sha256(abc, 3, digest));
  const uint8_t expected[kSha256Size] = {
      0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40, 0xde, 0x5d, 0xae, 0x22, 0x23,
      0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17, 0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
  EXPECT_EQ(Bytes(digest, digest + kSha256Size), Bytes(expected, expected + kSha256Size));
}

}  // namespace
