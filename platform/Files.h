// Reading and writing the files a user names, without trusting them: input
// must be a regular file of bounded size (a device, a folder or a pipe would
// hang the reader or fill memory), and output goes to a temporary file beside
// the target that is renamed over it only when complete, so that a failure
// never leaves half a file or destroys what was there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace platform {

// Reads all of `path` into `bytes`. Fails with a reason in `why` (no path in
// it) when the file cannot be opened, is not a regular file or is larger
// than `maxBytes`.
bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::string* bytes, std::string* why);

// Checks that `path` is a regular file no larger than `maxBytes`, without
// reading it.
bool CheckRegularFile(const std::string& path, uint64_t maxBytes, std::string* why);

// Opens `path` for reading without waiting (a FIFO is refused, not waited
// on) and checks that it is a regular file no larger than `maxBytes`. The
// stream is then an ordinary blocking one; null with the reason in `why`
// (no path in it) otherwise.
FILE* OpenRegularFile(const std::string& path, uint64_t maxBytes, std::string* why);

// Lets `write` fill a temporary file beside `path` (its folder must exist) and renames that over `path` when `write` returns true and
// the data reached the disk. An existing `path` that is not a regular file is
// refused untouched. On failure `why` holds the reason (no path in it).
bool WriteFileAtomically(const std::string& path, const std::function<bool(FILE*, std::string*)>& write,
                         std::string* why);

// The same for a writer that takes a file name: `write` is handed the name
// of the temporary file (`path` followed by a dot and six characters, so
// that it keeps the extensions `path` has) and fills it itself.
bool WriteFileAtomicallyByName(const std::string& path,
                               const std::function<bool(const std::string& temp, std::string*)>& write,
                               std::string* why);

// A user-supplied text made safe to print on one line: control bytes and
// bytes outside printable ASCII are written as \xNN.
std::string Printable(const std::string& text);

}  // namespace platform
