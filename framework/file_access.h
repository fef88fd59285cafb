// Files modules read and write for their user. Writes never destroy the file they replace:
// the new content goes to a temporary file beside the target, is flushed to disk and is
// renamed over the target only when complete; on any failure the target is left as it was
// and the temporary file is removed.
#pragma once

#include <cstddef>
#include <string>

namespace mp_files {

// Empty for a regular file (symbolic links followed); otherwise what the path is instead:
// "does not exist", "is a folder, not a regular file", "is a FIFO, not a regular file", ...
std::string notRegularFile(const std::string& path);

// Replaces the file at `path` (UTF-8) with `size` bytes from `data`. False on failure, with
// `reason` saying why ("No space left on device", "the folder '/x' does not exist").
bool replaceFile(const std::string& path, const void* data, std::size_t size, std::string& reason);

}  // namespace mp_files
