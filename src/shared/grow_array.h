#pragma once
// Growing a local-heap array by one zeroed record, the way every array of this program grows.
#include <cstddef>

// Returns the array with room for count + 1 records of record_size bytes, the new one zeroed: a
// new zero-initialised block when array is null, else a movable reallocation. Null when it cannot
// grow (the last error says why); the array is then unchanged and still the caller's.
void* grow_array_by_one(void* array, size_t count, size_t record_size);
