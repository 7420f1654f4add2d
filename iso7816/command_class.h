#pragma once

#include <cstdint>

// The families of CLA values whose commands and status words the card standards define.
namespace quorvel {

// GSM 11.11's class for the SIM.
inline constexpr std::uint8_t kGsmClass = 0xA0;

// The interindustry classes a UICC uses for ISO/IEC 7816-4's commands and some of its own
// (ETSI TS 102 221): 0X, 4X and 6X.
inline bool IsUiccInterindustryClass(std::uint8_t cla) {
  const unsigned high = cla >> 4;
  return high == 0x0 || high == 0x4 || high == 0x6;
}

// The UICC's proprietary classes (ETSI TS 102 221): 8X, CX and EX.
inline bool IsUiccProprietaryClass(std::uint8_t cla) {
  const unsigned high = cla >> 4;
  return high == 0x8 || high == 0xC || high == 0xE;
}

inline bool IsUiccClass(std::uint8_t cla) {
  return IsUiccInterindustryClass(cla) || IsUiccProprietaryClass(cla);
}

// GlobalPlatform's card-management classes: 80, and 84 with secure messaging.
inline bool IsGlobalPlatformClass(std::uint8_t cla) {
  return cla == 0x80 || cla == 0x84;
}

}  // namespace quorvel
