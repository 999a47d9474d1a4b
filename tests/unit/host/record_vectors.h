#pragma once
// The text of tests/unit/common/record_vectors.inc: the test key's public blob and its signatures
// of every fixture content and of every content's zlib stream.
#include <string>

std::string record_vectors_text();
