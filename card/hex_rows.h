#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Received bytes per row of the output list.
inline constexpr std::size_t kBytesPerHexRow = 16;

// One row of received bytes: each byte "%02hX " (two upper-case digits and a
// blank), so a row of k bytes is 3k characters.
std::string HexRow(const std::uint8_t* bytes, std::size_t count);

// The status row "%02hX %02hX" of SW1 SW2. `arrived` is how many of the two
// status bytes the card sent; a missing one shows as "--".
std::string StatusRowText(const std::uint8_t statusWord[2], int arrived);

// The bytes a hex row shows, read back from its text.
std::vector<std::uint8_t> ReadHexRow(std::string_view row);
// SW1 SW2 read back from a status row; returns how many arrived (a "--" ends them).
int ReadStatusRow(std::string_view row, std::uint8_t statusWord[2]);

}  // namespace quorvel
