#include "port/kernel_termios.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace quorvel {
namespace {

constexpr tcflag_t kRateBits = CBAUD | (CBAUD << IBSHIFT);

}  // namespace

bool ReadTerminal(int fd, TerminalAttributes& attributes) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  attributes.inputFlags = tio.c_iflag;
  attributes.outputFlags = tio.c_oflag;
  attributes.controlFlags = tio.c_cflag & ~kRateBits;
  attributes.localFlags = tio.c_lflag;
  attributes.minimumBytes = tio.c_cc[VMIN];
  attributes.intervalTenths = tio.c_cc[VTIME];
  attributes.baudRate = tio.c_ospeed;
  return true;
}

bool WriteTerminal(int fd, const TerminalAttributes& attributes) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_iflag = attributes.inputFlags;
  tio.c_oflag = attributes.outputFlags;
  // BOTHER takes the rates from the speed fields instead of the fixed B-codes.
  tio.c_cflag = (attributes.controlFlags & ~kRateBits) | BOTHER | (BOTHER << IBSHIFT);
  tio.c_lflag = attributes.localFlags;
  tio.c_cc[VMIN] = attributes.minimumBytes;
  tio.c_cc[VTIME] = attributes.intervalTenths;
  tio.c_ospeed = attributes.baudRate;
  tio.c_ispeed = attributes.baudRate;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace quorvel
