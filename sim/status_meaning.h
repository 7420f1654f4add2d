#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// What a status word means for the file a command was about.
enum class FileStatus {
  kDone,          // 90 00
  kAbsent,        // 94 04, 6A 82
  kNeedsPin,      // 98 04, 69 82
  kInvalidated,   // 98 10, 62 83
  kOutOfRange,    // 94 02, 6B 00, 6A 83
  kClassRefused,  // 6E 00, 6D 00: the card does not take this class or instruction
  kOther,
};

FileStatus ClassifyFileStatus(std::uint16_t sw);

// The status at the file, with SW1 SW2: "absent (94 04)", "needs CHV1, 3 tries left (98 04)",
// "invalidated (62 83)", "out of range (6A 83)", or the status word's own meaning
// (ExplainStatusWord, after `cla` and `ins`). `pin` names the code a kNeedsPin file asks for
// and its tries ("CHV1, 3 tries left"); empty says "a PIN".
std::string FileStatusText(std::uint16_t sw, std::uint8_t cla, std::uint8_t ins,
                           const std::string& pin);

}  // namespace quorvel
