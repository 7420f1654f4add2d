#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel {

// Why something that is there is no plain file, from its type (stat's st_mode), for the
// user: "it is a named pipe, not a file".
std::string NotAFileReason(mode_t mode);

// A file the program reads its data from, named by the profile or a file chooser,
// so it may name anything. Only a regular file is opened, and without blocking: a
// named pipe, a device, a socket or a folder is refused before a byte is read, so
// a reader neither waits forever nor reads without end.
class InputFile {
 public:
  enum class Status { kOpen, kMissing, kRefused };

  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  Status status() const { return status_; }
  // Why the file is missing or refused, for the user: "Permission denied", "it is a
  // named pipe, not a file".
  const std::string& reason() const { return reason_; }
  // The size the file had when it was opened.
  std::uint64_t size() const { return size_; }

  // Reads up to `count` bytes from `offset`, fewer only where the file ends.
  // Returns how many were read, or -1 after a read error (reason() then says which).
  std::ptrdiff_t ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t count);

 private:
  void Fail(int error);

  int fd_ = -1;
  Status status_ = Status::kRefused;
  std::string reason_;
  std::uint64_t size_ = 0;
};

}  // namespace quorvel
