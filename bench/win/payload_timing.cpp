// Times the stub's own work on a setup.exe, under wine, with the stub's code: reading the file,
// finding and verifying the payload's manifest, and choosing the package, which inflates and
// verifies every item. Prints one "name milliseconds" line per step.
//   msiboot-payload-timing.exe SETUP.exe
#include <windows.h>

#include <cstdio>

#include "driver/win/own_file.h"
#include "payload/item_collection.h"
#include "payload/payload_discovery.h"
#include "platform/heap.h"

namespace {

double now_ms() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  double start = now_ms();
  uint8_t* image = nullptr;
  uint32_t size = 0;
  wchar_t path[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, argv[1], -1, path, MAX_PATH);
  Status status = read_whole_file(path, &image, &size);
  double read = now_ms();
  PayloadSet payload = {};
  if (!status_failed(status)) status = discover_payload(payload, &image, size);
  heap_free(image);
  double discovered = now_ms();
  PackageChoice choice = {};
  ItemWriter writer = empty_item_writer();
  uint32_t language = 1033;
  char message[2048];
  if (!status_failed(status)) {
    status = choose_package(payload, &language, choice, writer, "corrupt", message, sizeof message);
  }
  double chosen = now_ms();
  std::printf("read %.1f\ndiscover %.1f\nchoose %.1f\nstatus %u\n", read - start, discovered - read,
              chosen - discovered, status_code(status));
  release_items(writer);
  free_blobs(payload);
  return status_failed(status) ? 1 : 0;
}
