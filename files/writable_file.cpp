#include "files/writable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "files/input_file.h"

namespace quorvel {
namespace {

std::string FolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

}  // namespace

std::string WhyNotWritable(const std::string& path, LinksAtName links) {
  struct stat info;
  if (links == LinksAtName::kRefuse && lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
    return NotAFileReason(info.st_mode);
  if (stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) return std::strerror(errno);
    // A link to a file still to be made: its open makes it, or says why not.
    if (lstat(path.c_str(), &info) == 0) return {};
    if (access(FolderOf(path).c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    return {};
  }
  if (!S_ISREG(info.st_mode)) return NotAFileReason(info.st_mode);
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return "it is read-only";
  // Opened without being cut: only whether it may be written is asked.
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  close(fd);
  return {};
}

}  // namespace quorvel
