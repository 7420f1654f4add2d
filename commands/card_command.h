#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel {

// One card command as the user keeps it: a plain 620-byte record that SCC files
// store byte for byte. Reserved areas travel with the record untouched.
struct CardCommand {
  std::uint8_t header[5];  // CLA INS P1 P2 P3
  std::uint8_t direction;  // 1: data to the card; anything else: from the card
  std::uint8_t reserved6[18];
  char comment[64];  // zero-terminated, at most 63 characters
  std::uint8_t reserved88[2];
  std::uint8_t data[255];  // the first P3 bytes are sent for direction 1
  std::uint8_t reserved345[275];

  std::uint8_t cla() const { return header[0]; }
  std::uint8_t ins() const { return header[1]; }
  std::uint8_t p3() const { return header[4]; }
};

static_assert(sizeof(CardCommand) == 620);
static_assert(offsetof(CardCommand, header) == 0);
static_assert(offsetof(CardCommand, direction) == 5);
static_assert(offsetof(CardCommand, comment) == 24);
static_assert(offsetof(CardCommand, reserved88) == 88);
static_assert(offsetof(CardCommand, data) == 90);
static_assert(offsetof(CardCommand, reserved345) == 345);

inline constexpr std::uint8_t kToCard = 1;
inline constexpr std::uint8_t kFromCard = 0;

// A new record: all zero but 0x90 at byte 88.
CardCommand NewCardCommand();

// The command list's entry for a record: "%s (%02hX %02hX %02hX %02hX %02hX)"
// with the comment (read up to its zero, at most 63 characters) and the header.
std::string CommandEntryText(const CardCommand& command);

}  // namespace quorvel
