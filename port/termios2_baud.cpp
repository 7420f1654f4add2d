#include "port/termios2_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace quorvel {

bool SetBaudRate(int fd, std::uint32_t baudRate) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  // BOTHER takes the rates from the speed fields instead of the fixed B-codes.
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ospeed = baudRate;
  tio.c_ispeed = baudRate;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

bool GetBaudRate(int fd, std::uint32_t& baudRate) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  baudRate = tio.c_ospeed;
  return true;
}

}  // namespace quorvel
