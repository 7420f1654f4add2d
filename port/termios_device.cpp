#include "port/termios_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "port/kernel_termios.h"
#include "port/open_failure.h"
#include "port/termios_frame.h"

namespace quorvel {
namespace {

// The line discipline's input buffer; the drivers' output buffers are at least as large.
constexpr std::size_t kKernelQueueBytes = 4096;

void MakeRaw(TerminalAttributes& tio) {
  tio.inputFlags &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP |
                                           INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  tio.outputFlags &= ~static_cast<tcflag_t>(OPOST);
  tio.localFlags &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.controlFlags |= CLOCAL | CREAD;
}

DeviceOpenResult Failed(int fd, const std::string& path, int error) {
  if (fd >= 0) close(fd);
  return {nullptr, DescribeOpenFailure(path, error)};
}

DeviceOpenResult NotSerial(int fd, const std::string& path) {
  if (fd >= 0) close(fd);
  return {nullptr, path + ": not a serial device"};
}

// Either side of a pseudo-terminal: the pts slaves, the multiplexer /dev/ptmx that
// makes masters, and the old BSD pairs.
bool IsPseudoTerminal(const struct stat& info) {
  const unsigned kind = major(info.st_rdev);
  return (kind >= 136 && kind <= 143) || (kind >= 128 && kind <= 135) || kind == 2 || kind == 3 ||
         (kind == 5 && minor(info.st_rdev) == 2);
}

}  // namespace

DeviceOpenResult TermiosDevice::Open(const std::string& path) {
  // Anything but a character device is refused before it is opened at all: a FIFO,
  // a folder or a plain file is no line.
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) return NotSerial(-1, path);
  // Non-blocking for good: a line without carrier does not hold up the open, and reads
  // and writes never wait in the kernel, whatever VMIN and VTIME are (a pseudo-terminal
  // master does not heed them).
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Failed(fd, path, errno);
  if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || !isatty(fd)) return NotSerial(fd, path);
  // The advisory lock keeps a second program away even where TIOCEXCL does not (root).
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    return Failed(fd, path, error);
  }
  if (ioctl(fd, TIOCEXCL) != 0) return Failed(fd, path, errno);
  TerminalAttributes tio;
  if (!ReadTerminal(fd, tio)) return Failed(fd, path, errno);
  MakeRaw(tio);
  if (!WriteTerminal(fd, tio)) return Failed(fd, path, errno);

  std::unique_ptr<TermiosDevice> device(new TermiosDevice(fd, path, IsPseudoTerminal(info)));
  if (!device->GetLineSettings(device->applied_)) {
    const int error = errno;
    return {nullptr, DescribeOpenFailure(path, error)};
  }
  return {std::move(device), {}};
}

TermiosDevice::TermiosDevice(int fd, std::string path, bool pseudoTerminal)
    : fd_(fd), path_(std::move(path)), pseudo_terminal_(pseudoTerminal) {}

TermiosDevice::~TermiosDevice() {
  // A UART's close waits until its output has gone, up to half a minute when flow
  // control holds it: what has not gone by now is dropped instead.
  if (!pseudo_terminal_) tcflush(fd_, TCOFLUSH);
  close(fd_);
}

bool TermiosDevice::SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) {
  // The kernel's queues cannot be resized; they serve when they are large enough.
  return inputBytes <= kKernelQueueBytes && outputBytes <= kKernelQueueBytes;
}

bool TermiosDevice::GetReadTimeouts(ReadTimeouts& timeouts) {
  TerminalAttributes tio;
  if (!ReadTerminal(fd_, tio)) return RequestFailed();
  timeouts.minimumBytes = tio.minimumBytes;
  timeouts.intervalTenths = tio.intervalTenths;
  return true;
}

bool TermiosDevice::SetReadTimeouts(const ReadTimeouts& timeouts) {
  TerminalAttributes tio;
  if (!ReadTerminal(fd_, tio)) return RequestFailed();
  tio.minimumBytes = timeouts.minimumBytes;
  tio.intervalTenths = timeouts.intervalTenths;
  if (!WriteTerminal(fd_, tio)) return RequestFailed();
  return true;
}

bool TermiosDevice::GetLineSettings(LineSettings& settings) {
  TerminalAttributes tio;
  if (!ReadTerminal(fd_, tio)) return RequestFailed();
  settings = applied_;
  settings.baudRate = tio.baudRate;
  ReadFrameFlags(tio.controlFlags, settings);
  settings.outXonXoff = tio.inputFlags & IXON;
  settings.inXonXoff = tio.inputFlags & IXOFF;
  return true;
}

bool TermiosDevice::SetLineSettings(const LineSettings& settings) {
  if (!IsValidFrame(settings)) return false;
  TerminalAttributes tio;
  if (!ReadTerminal(fd_, tio)) return RequestFailed();
  tio.controlFlags = (tio.controlFlags & ~kFrameFlags) | FrameFlags(settings);
  tio.inputFlags &= ~static_cast<tcflag_t>(IXON | IXOFF);
  if (settings.outXonXoff) tio.inputFlags |= IXON;
  if (settings.inXonXoff) tio.inputFlags |= IXOFF;
  tio.baudRate = settings.baudRate;
  if (!WriteTerminal(fd_, tio)) return RequestFailed();
  if (!pseudo_terminal_) {
    TerminalAttributes kept;
    if (!ReadTerminal(fd_, kept)) return RequestFailed();
    if (!FrameKept(tio.controlFlags, kept.controlFlags)) return false;
  }

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
  if (ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
  NoteError(errno);
  return false;
}

std::size_t TermiosDevice::Read(std::uint8_t* buffer, std::size_t count) {
  if (count == 0) return 0;
  ssize_t got;
  do {
    got = read(fd_, buffer, count);
  } while (got < 0 && errno == EINTR);
  if (got > 0) return static_cast<std::size_t>(got);
  if (got < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK) NoteError(errno);
    return 0;
  }
  // Nothing, without an error: an idle line, or one that has hung up. Poll with no
  // events asked still tells the hang-up.
  pollfd state{fd_, 0, 0};
  if (poll(&state, 1, 0) == 1) NoteEvents(state.revents);
  return 0;
}

void TermiosDevice::WaitForInput(std::chrono::nanoseconds timeout) {
  if (timeout <= std::chrono::nanoseconds::zero() || IsGone()) return;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  const timespec wait{static_cast<time_t>(seconds.count()),
                      static_cast<long>((timeout - seconds).count())};
  pollfd input{fd_, POLLIN, 0};
  // EINTR or an error ends the wait early; the caller reads and waits again if time is left.
  if (ppoll(&input, 1, &wait, nullptr) == 1) NoteEvents(input.revents);
}

std::size_t TermiosDevice::Write(const std::uint8_t* bytes, std::size_t count) {
  using Steady = std::chrono::steady_clock;
  std::size_t sent = 0;
  Steady::time_point giveUp{};  // set when the queue is first found full
  while (sent < count && !IsGone()) {
    const ssize_t put = write(fd_, bytes + sent, count - sent);
    if (put > 0) {
      sent += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      NoteError(errno);
      break;
    }
    // The output queue is full: wait for room, but not past the bound.
    const auto now = Steady::now();
    if (giveUp == Steady::time_point{}) giveUp = now + kWriteBound;
    if (now >= giveUp) break;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(giveUp - now);
    pollfd output{fd_, POLLOUT, 0};
    if (poll(&output, 1, static_cast<int>(left.count())) == 1) NoteEvents(output.revents);
  }
  return sent;
}

void TermiosDevice::SetModemLine(int line, bool raised) {
  // A line that cannot be changed (a pseudo-terminal has none) leaves the rest in force.
  ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &line);
}

bool TermiosDevice::RequestFailed() {
  NoteError(errno);
  return false;
}

void TermiosDevice::NoteError(int error) {
  // These say the device itself went away; anything else is a refusal of one request.
  if (error != EIO && error != ENXIO && error != ENODEV) return;
  if (gone_.empty()) gone_ = path_ + ": " + std::strerror(error);
}

void TermiosDevice::NoteEvents(short events) {
  if ((events & (POLLHUP | POLLERR | POLLNVAL)) != 0 && gone_.empty()) gone_ = path_ + ": hung up";
}

}  // namespace quorvel
