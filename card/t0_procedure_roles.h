#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quorvel {

// What a run of bytes received in the whole of T=0 (ISO/IEC 7816-3 10.3) is, read back from
// the header and the bytes as they came: the header's echo, then procedure bytes with the
// data each lets through.
enum class T0ByteRole : std::uint8_t {
  kHeaderEcho,   // the five header bytes coming back
  kNull,         // 60: the card asks for more time
  kInsAll,       // INS: all the data left moves
  kInsOne,       // the complement of INS: one data byte moves
  kData,         // data from the card, or the echo of data sent to it
  kUnexpected,   // in place of a procedure byte: none of the above, nor a status byte
  kAfterTheEnd,  // more bytes than the procedure bytes accounted for
};

struct T0RoleRun {
  T0ByteRole role = T0ByteRole::kHeaderEcho;
  std::size_t first = 0;  // where the run starts in the reception
  std::size_t end = 0;    // one past its last byte
  // kData: which bytes of the command's data they are, counted from 0, and how many the
  // command moves (256 for P3 = 00 from the card).
  std::size_t dataFirst = 0;
  std::size_t dataTotal = 0;
  // kInsAll: the data bytes it lets through (0: none were left).
  std::size_t dataLeft = 0;
};

// The runs of `received`, in order, covering every byte. Consecutive NULL bytes make one run.
std::vector<T0RoleRun> ReadT0Roles(const std::uint8_t header[5], bool toCard,
                                   std::span<const std::uint8_t> received);

}  // namespace quorvel
