#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvel {

// Writes all count bytes to the file descriptor, going on after short writes and
// interruptions; false at the first error (errno tells it).
bool WriteWhole(int fd, const std::uint8_t* bytes, std::size_t count);

}  // namespace quorvel
