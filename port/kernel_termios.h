#pragma once

#include <cstdint>

// Kept apart from <termios.h>: the kernel's termios2 definitions clash with it.
namespace quorvel {

// A terminal's attributes as the kernel keeps them. The flag fields hold the same bits
// as <termios.h> names; the rate bits of the control flags are left out, the rate is
// baudRate for both directions.
struct TerminalAttributes {
  std::uint32_t inputFlags = 0;
  std::uint32_t outputFlags = 0;
  std::uint32_t controlFlags = 0;
  std::uint32_t localFlags = 0;
  std::uint8_t minimumBytes = 0;    // VMIN
  std::uint8_t intervalTenths = 0;  // VTIME
  std::uint32_t baudRate = 0;
};

// Read and written with the kernel's own TCGETS2 and TCSETS2, which carry any rate,
// standard or not (such as 10472). The C library's tcsetattr is not used: it reads the
// attributes back and fails with EINVAL when the terminal did not keep a character size,
// which a pseudo-terminal never does.
bool ReadTerminal(int fd, TerminalAttributes& attributes);
// Keeps every attribute not named here (the other control characters, the discipline).
bool WriteTerminal(int fd, const TerminalAttributes& attributes);

}  // namespace quorvel
