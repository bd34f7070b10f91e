// The walk a 3D Studio file must pass before lib3ds reads it.
#pragma once

#include <cstddef>
#include <cstdint>

// Walks the file's first chunk as lib3ds 1.3 does and says whether lib3ds
// may read it: false, with the reason in `why`, for a file lib3ds would
// read past an array with, loop on, or fail on half-way (it then leaks
// what it had read).
bool Check3DSChunks(const uint8_t* data, size_t size, char* why, size_t whySize);
