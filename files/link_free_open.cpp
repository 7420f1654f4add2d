#include "files/link_free_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

namespace quorvel {
namespace {

// Closes a descriptor on every way out; errno survives the close.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  void Close() {
    if (fd_ < 0) return;
    const int saved = errno;
    close(fd_);
    errno = saved;
  }

  int fd_;
};

}  // namespace

int OpenForWritingWithoutLinks(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  // Folder by folder from where the path starts, each opened without following a link.
  Descriptor folder(open(path.front() == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0) return -1;
  std::string_view rest = path;
  std::size_t slash;
  while ((slash = rest.find('/')) != std::string_view::npos) {
    const std::string part(rest.substr(0, slash));
    rest.remove_prefix(slash + 1);
    if (part.empty() || part == ".") continue;
    const int next =
        openat(folder.get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return -1;
    folder.Reset(next);
  }
  const std::string name(rest);
  // Something already there that is no regular file is not even opened: opening a
  // device can have effects of its own.
  struct stat info;
  if (fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      !S_ISREG(info.st_mode)) {
    errno = S_ISLNK(info.st_mode) ? ELOOP : EINVAL;
    return -1;
  }
  Descriptor file(openat(folder.get(), name.c_str(),
                         O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
  if (file.get() < 0) return -1;
  if (fstat(file.get(), &info) != 0) return -1;
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  // Cut only once it is known to be a regular file; writes from here on may wait.
  if (ftruncate(file.get(), 0) != 0) return -1;
  if (fcntl(file.get(), F_SETFL, fcntl(file.get(), F_GETFL) & ~O_NONBLOCK) != 0) return -1;
  return file.release();
}

}  // namespace quorvel
