// Opening a file the engine's loaders are given by name. Only a regular file
// is read: a FIFO would block the loader for ever, and a folder or a device
// would be read as garbage of any length.
#pragma once

#include <cstdio>

// Opens `path` for reading ("rb") when it is a regular file, checked without
// waiting (opened non-blocking, then looked at). Null otherwise, with `why`
// (if given) set to "cannot be opened", "is a directory" or "is not a
// regular file".
FILE* eOpenRegularFile(const char* path, const char** why);

// The same, leaving one trace line "# `who` refused: "path" is a directory"
// (or "is not a regular file") in `log` for a path that exists but is no
// regular file.
FILE* eOpenRegularFile(const char* path, const char* log, const char* who);
