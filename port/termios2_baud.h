#pragma once

#include <cstdint>

// Kept apart from <termios.h>: the kernel's termios2 definitions clash with it.
namespace quorvel {

// Sets input and output to any rate, standard or not (such as 10472), on a terminal.
bool SetBaudRate(int fd, std::uint32_t baudRate);
// The output rate the terminal is set to.
bool GetBaudRate(int fd, std::uint32_t& baudRate);

}  // namespace quorvel
