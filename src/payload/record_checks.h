#pragma once
// The steps every record lookup takes, whether it holds the content whole (the stub) or checks it
// piece by piece as it inflates (the tool): the record found with its limit, then the content's
// digest judged against the record's signature and the entry's binding.
#include <cstdint>

#include "payload/container.h"

// The failure sites of one kind of record.
struct RecordSites {
  uint32_t inflate;
  uint32_t copy;
  uint32_t key;
  uint32_t verify;
};

struct RecordLookup {
  RecordLocation fields;
  const RecordSites* sites;
  uint32_t limit;  // the most its content may inflate to
  bool hashed;     // signed or bound: the content's SHA-256 decides
};

// Finds record id of the given type in the blob and sets out how its content is to be checked.
// Fails when a binding is given but not present (kSiteRecordBinding), when there is no such
// record, or when a signed file record holds nothing in its data field.
Status begin_lookup(const PayloadBlob& blob, const RecordType& type, uint32_t id,
                    const RecordBinding* binding, RecordLookup* lookup);

// The verdict on content of length bytes whose SHA-256 is digest (unread when !lookup.hashed):
// its signature against key_blob (null: the built-in key), then its binding when one is given.
Status judge_content(const PayloadBlob& blob, const RecordLookup& lookup,
                     const RecordBinding* binding, const uint8_t* key_blob, uint32_t key_size,
                     const uint8_t* digest, uint32_t length);
