// Prints tests/unit/common/record_vectors.inc.
#include <cstdio>

#include "record_vectors.h"

int main() {
  std::fputs(record_vectors_text().c_str(), stdout);
  return 0;
}
