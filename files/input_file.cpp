#include "files/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorvel {

std::string NotAFileReason(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a folder, not a file";
  if (S_ISFIFO(mode)) return "it is a named pipe, not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a file";
  if (S_ISSOCK(mode)) return "it is a socket, not a file";
  if (S_ISLNK(mode)) return "it is a symbolic link, not a file";
  return "it is not a regular file";
}

InputFile::InputFile(const std::string& path) {
  // Looked at before it is opened: opening a device or a pipe can itself block or
  // have effects.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    Fail(errno);
    return;
  }
  if (!S_ISREG(info.st_mode)) {
    reason_ = NotAFileReason(info.st_mode);
    return;
  }
  fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    Fail(errno);
    return;
  }
  // The name may have been pointed elsewhere between the look and the open.
  if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    reason_ = NotAFileReason(info.st_mode);
    close(fd_);
    fd_ = -1;
    return;
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
  status_ = Status::kOpen;
}

InputFile::~InputFile() {
  if (fd_ >= 0) close(fd_);
}

void InputFile::Fail(int error) {
  status_ = error == ENOENT ? Status::kMissing : Status::kRefused;
  reason_ = std::strerror(error);
}

std::ptrdiff_t InputFile::ReadAt(std::uint64_t offset, std::uint8_t* into, std::size_t count) {
  if (fd_ < 0) return -1;
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = pread(fd_, into + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      reason_ = std::strerror(errno);
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::ptrdiff_t>(done);
}

}  // namespace quorvel
