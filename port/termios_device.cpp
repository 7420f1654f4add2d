#include "port/termios_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "port/open_failure.h"
#include "port/termios2_baud.h"
#include "port/termios_frame.h"

namespace quorvel {
namespace {

// The line discipline's input buffer; the drivers' output buffers are at least as large.
constexpr std::size_t kKernelQueueBytes = 4096;

void MakeRaw(termios& tio) {
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR |
                                        IGNCR | ICRNL | IXON | IXOFF | IXANY);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag |= CLOCAL | CREAD;
}

DeviceOpenResult Failed(int fd, const std::string& path, int error) {
  if (fd >= 0) close(fd);
  return {nullptr, DescribeOpenFailure(path, error)};
}

}  // namespace

DeviceOpenResult TermiosDevice::Open(const std::string& path) {
  // Non-blocking only while opening, so a line without carrier does not hold us up.
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Failed(fd, path, errno);
  // The advisory lock keeps a second program away even where TIOCEXCL does not (root).
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    return Failed(fd, path, error);
  }
  if (ioctl(fd, TIOCEXCL) != 0) return Failed(fd, path, errno);
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return Failed(fd, path, errno);
  MakeRaw(tio);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return Failed(fd, path, errno);
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return Failed(fd, path, errno);

  std::unique_ptr<TermiosDevice> device(new TermiosDevice(fd));
  if (!device->GetLineSettings(device->applied_)) {
    const int error = errno;
    return {nullptr, DescribeOpenFailure(path, error)};
  }
  return {std::move(device), {}};
}

TermiosDevice::~TermiosDevice() {
  close(fd_);
}

bool TermiosDevice::SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) {
  // The kernel's queues cannot be resized; they serve when they are large enough.
  return inputBytes <= kKernelQueueBytes && outputBytes <= kKernelQueueBytes;
}

bool TermiosDevice::GetReadTimeouts(ReadTimeouts& timeouts) {
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  timeouts.minimumBytes = tio.c_cc[VMIN];
  timeouts.intervalTenths = tio.c_cc[VTIME];
  return true;
}

bool TermiosDevice::SetReadTimeouts(const ReadTimeouts& timeouts) {
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  tio.c_cc[VMIN] = timeouts.minimumBytes;
  tio.c_cc[VTIME] = timeouts.intervalTenths;
  return tcsetattr(fd_, TCSANOW, &tio) == 0;
}

bool TermiosDevice::GetLineSettings(LineSettings& settings) {
  termios tio{};
  std::uint32_t baudRate = 0;
  if (tcgetattr(fd_, &tio) != 0 || !GetBaudRate(fd_, baudRate)) return false;
  settings = applied_;
  settings.baudRate = baudRate;
  ReadFrameFlags(tio.c_cflag, settings);
  settings.outXonXoff = tio.c_iflag & IXON;
  settings.inXonXoff = tio.c_iflag & IXOFF;
  return true;
}

bool TermiosDevice::SetLineSettings(const LineSettings& settings) {
  if (!IsValidFrame(settings)) return false;
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  tio.c_cflag = (tio.c_cflag & ~kFrameFlags) | FrameFlags(settings);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF);
  if (settings.outXonXoff) tio.c_iflag |= IXON;
  if (settings.inXonXoff) tio.c_iflag |= IXOFF;
  if (tcsetattr(fd_, TCSANOW, &tio) != 0 || !SetBaudRate(fd_, settings.baudRate)) return false;

  // Lines at rest: the kernel has no DTR handshake nor RTS toggling, so those rest as
  // DTR raised and RTS dropped.
  SetModemLine(TIOCM_DTR, settings.dtrControl != DtrControl::Disable);
  if (settings.rtsControl != RtsControl::Handshake) {
    SetModemLine(TIOCM_RTS, settings.rtsControl == RtsControl::Enable);
  }
  applied_ = settings;
  return true;
}

bool TermiosDevice::SetRts(bool raised) {
  const int line = TIOCM_RTS;
  return ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &line) == 0;
}

std::size_t TermiosDevice::Read(std::uint8_t* buffer, std::size_t count) {
  if (count == 0) return 0;
  ssize_t got;
  do {
    got = read(fd_, buffer, count);
  } while (got < 0 && errno == EINTR);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void TermiosDevice::WaitForInput(std::chrono::nanoseconds timeout) {
  if (timeout <= std::chrono::nanoseconds::zero()) return;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  const timespec wait{static_cast<time_t>(seconds.count()),
                      static_cast<long>((timeout - seconds).count())};
  pollfd input{fd_, POLLIN, 0};
  // EINTR or an error ends the wait early; the caller reads and waits again if time is left.
  ppoll(&input, 1, &wait, nullptr);
}

std::size_t TermiosDevice::Write(const std::uint8_t* bytes, std::size_t count) {
  std::size_t sent = 0;
  while (sent < count) {
    const ssize_t put = write(fd_, bytes + sent, count - sent);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    sent += static_cast<std::size_t>(put);
  }
  return sent;
}

void TermiosDevice::SetModemLine(int line, bool raised) {
  // A line that cannot be changed (a pseudo-terminal has none) leaves the rest in force.
  ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &line);
}

}  // namespace quorvel
