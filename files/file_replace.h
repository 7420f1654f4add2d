#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quorvel {

enum class ReplaceResult {
  kReplaced,
  kReadOnly,  // the file is there and may not be written: it was kept
  // The name is not a regular file's (a named pipe, a device, a folder, a socket): it was
  // left as it was, not replaced by a file.
  kNotRegular,
  kFailed,  // anything else went wrong: the old file, if any, was kept
};

// Replaces the file at `path` with `bytes` without ever leaving it half written:
// a temporary file beside it is written, flushed, synced and closed, every step
// checked, then renamed over it. On any failure the temporary file is removed and
// the old file stays as it was.
//
// A symbolic link is followed: the file it names is replaced (and created when the
// link dangles), and the link stays. A file replaced keeps its permission bits. A
// read-only file (no write permission bit, for root too) is refused, and so is anything
// but a regular file: only a regular file, or a name not yet taken, is ever replaced.
ReplaceResult WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes);

// From here on a write past the process's file-size limit fails with EFBIG, which
// the writers report, instead of ending the program with SIGXFSZ.
void IgnoreFileSizeSignal();

}  // namespace quorvel
