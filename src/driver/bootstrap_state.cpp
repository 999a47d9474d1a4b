#include "driver/bootstrap_state.h"

#include "platform/heap.h"

BootstrapState bootstrap_state;

void free_blobs(BootstrapState& state) {
  for (uint32_t i = 0; i < state.blob_count; ++i) {
    heap_free(state.blobs[i].data);
    heap_free(state.blobs[i].manifest);
  }
  heap_free(state.blobs);
  state.blobs = nullptr;
  state.blob_count = 0;
}
