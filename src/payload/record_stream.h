#pragma once
// A record checked as it inflates, its content handed on piece by piece and never held whole: the
// tool's lookup, under the very checks of find_record_with_key and find_bound_record, so that it
// reads a setup.exe of any size within a fixed amount of memory.
#include <cstdint>

#include "payload/container.h"
#include "payload/inflate.h"

struct StreamedRecord {
  InflateSink sink;      // receives the content in order; null: the content is only checked
  void* context;
  uint32_t unbound_cap;  // the most an unbound file record is followed to (a bound one: its size)
  uint32_t length;       // out: the content's length, once it has inflated whole
};

// The status find_record_with_key (binding null) or find_bound_record gives for the same record,
// with the record's content passed to record.sink as it inflates. A content that passes the
// unbound cap fails at the inflate site as unreadable, as one that passes its binding's size does;
// a sink that says stop fails with kErrorWriteFault at the copy site. The sink may have seen
// content when the lookup then fails: only a lookup that succeeds has delivered checked content.
Status stream_record(const PayloadBlob& blob, const RecordType& type, uint32_t id,
                     const RecordBinding* binding, const uint8_t* key_blob, uint32_t key_size,
                     StreamedRecord& record);
