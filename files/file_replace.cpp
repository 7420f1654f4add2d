#include "files/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <optional>

#include "files/whole_write.h"

namespace quorvel {
namespace {

// Links followed before giving up, as the kernel does.
constexpr int kMaxLinks = 40;

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that writing `path` should replace: a symbolic link is followed, link
// by link, to the file it names, whether that file exists or not. Nothing when the
// links go round in circles.
std::optional<std::string> ReplacementTarget(std::string path) {
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length <= 0) return std::nullopt;
    const std::string next(target, static_cast<std::size_t>(length));
    path = next.front() == '/' ? next : DirectoryOf(path) + "/" + next;
  }
  return std::nullopt;
}

// No write permission bit at all is read-only for everyone, root included, as
// editors treat it; access() adds what the caller may not write for other reasons.
bool IsReadOnly(const std::string& path, const struct stat& info) {
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  return access(path.c_str(), W_OK) != 0 && errno == EACCES;
}

// Creates a new file beside the target with the mode a new file gets there.
int CreateTemporary(const std::string& target, std::string& temporaryPath) {
  const std::string prefix =
      DirectoryOf(target) + "/." + NameOf(target) + ".tmp" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryPath = prefix + std::to_string(attempt);
    const int fd = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

void SyncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // the rename is already done; a failure here loses nothing written
  close(fd);
}

}  // namespace

ReplaceResult WriteFileReplacing(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::optional<std::string> target = ReplacementTarget(path);
  if (!target) return ReplaceResult::kFailed;
  struct stat old;
  const bool exists = stat(target->c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return ReplaceResult::kNotRegular;
  if (exists && IsReadOnly(*target, old)) return ReplaceResult::kReadOnly;

  std::string temporaryPath;
  const int fd = CreateTemporary(*target, temporaryPath);
  if (fd < 0) return ReplaceResult::kFailed;
  bool ok = true;
  if (exists) ok = fchmod(fd, old.st_mode & 07777) == 0;
  ok = ok && WriteWhole(fd, bytes.data(), bytes.size());
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporaryPath.c_str(), target->c_str()) == 0;
  if (!ok) {
    unlink(temporaryPath.c_str());
    return ReplaceResult::kFailed;
  }
  SyncDirectory(DirectoryOf(*target));
  return ReplaceResult::kReplaced;
}

void IgnoreFileSizeSignal() {
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace quorvel
