#include "port/serial_port_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>
#include <tuple>

#include "port/port_names.h"

namespace quorvel {
namespace {

// A folder kept open, so that paths inside it are looked up from there.
class Folder {
 public:
  explicit Folder(const std::string& path)
      : fd_(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~Folder() {
    if (fd_ >= 0) close(fd_);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  int fd() const { return fd_; }
  bool Has(const std::string& path) const {
    struct stat info {};
    return fstatat(fd_, path.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
  }
  // A small sysfs attribute without its line end; empty when there is none.
  std::string Attribute(const std::string& path) const {
    const int fd = openat(fd_, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char text[256];
    const ssize_t got = read(fd, text, sizeof text);
    close(fd);
    std::string_view value(text, got > 0 ? static_cast<std::size_t>(got) : 0);
    while (!value.empty() && std::isspace(static_cast<unsigned char>(value.back())))
      value.remove_suffix(1);
    return std::string(value);
  }

 private:
  int fd_;
};

// The USB product (or else its maker) of the device behind a terminal: for a USB serial
// adapter on the device above the interface, for a modem-class one on the interface's.
std::string ProductOf(const Folder& ttys, const std::string& tty) {
  for (const char* up : {"/device/../", "/device/../../"}) {
    for (const char* attribute : {"product", "manufacturer"}) {
      std::string value = ttys.Attribute(tty + up + attribute);
      if (!value.empty()) return value;
    }
  }
  return {};
}

// USB adapters first (most card readers), then modem-class, then UARTs, then the rest;
// by number within each kind.
std::tuple<int, long, std::string> Order(const PortChoice& port) {
  const std::string_view device = std::string_view(port.target).substr(port.target.rfind('/') + 1);
  int kind = 3;
  if (device.starts_with("ttyUSB")) kind = 0;
  if (device.starts_with("ttyACM")) kind = 1;
  if (device.starts_with("ttyS")) kind = 2;
  const auto digits = device.find_first_of("0123456789");
  const long number =
      digits == std::string_view::npos ? -1 : std::strtol(device.data() + digits, nullptr, 10);
  return {kind, number, port.target};
}

}  // namespace

std::vector<PortChoice> ListSerialPorts(const SystemRoots& roots) {
  std::vector<PortChoice> ports;
  const Folder ttys(roots.sysfs + "/class/tty");
  const Folder dev(roots.dev);
  if (ttys.fd() < 0 || dev.fd() < 0) return ports;
  DIR* listing = fdopendir(dup(ttys.fd()));
  if (listing == nullptr) return ports;
  while (const dirent* entry = readdir(listing)) {
    const std::string tty = entry->d_name;
    if (tty.starts_with('.') || !dev.Has(tty)) continue;
    struct stat hardware {};
    if (fstatat(ttys.fd(), (tty + "/device").c_str(), &hardware, 0) != 0) continue;
    // The 8250 driver shows every UART it might have; those it found nothing at are type 0.
    if (tty.starts_with("ttyS") && ttys.Attribute(tty + "/type") == "0") continue;
    ports.push_back({PortChoice::Source::kPresent, PortNameForDevice(tty), roots.dev + "/" + tty,
                     ProductOf(ttys, tty)});
  }
  closedir(listing);
  std::sort(ports.begin(), ports.end(),
            [](const PortChoice& a, const PortChoice& b) { return Order(a) < Order(b); });
  return ports;
}

}  // namespace quorvel
