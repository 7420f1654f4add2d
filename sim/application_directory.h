#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/decoded.h"

namespace quorvel {

// A record of EF.DIR (2F00; TS 102 221 clause 13.1): an application template (61) with the
// application's AID (4F) and its label (50, an alpha field).
struct DirEntry {
  std::vector<std::uint8_t> aid;  // empty for an empty or unreadable record
  std::string label;
  Decoded decoded;
};

DirEntry ReadDirRecord(std::span<const std::uint8_t> record);

// The application an AID names by its RID and application code (TS 101 220: 3GPP's USIM
// A0000000871002 and ISIM A0000000871004, 3GPP2's CSIM A0000003431002), or empty.
std::string ApplicationOf(std::span<const std::uint8_t> aid);

}  // namespace quorvel
