#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// The name of instruction INS under class CLA, as the card standards name it:
// - class A0 (GSM SIM): GSM 11.11's names ("VERIFY CHV", "RUN GSM ALGORITHM", "SEEK"…),
//   falling back on ISO/IEC 7816-4's;
// - other proprietary classes 80 to FE: the UICC and card-toolkit names of ETSI TS 102 221
//   ("STATUS", "FETCH", "TERMINAL PROFILE"…), falling back on ISO/IEC 7816-4's;
// - interindustry classes 00 to 7F: ISO/IEC 7816-4's names (with those of its companion
//   parts 7, 8 and 9 for the instructions they add).
// An instruction no table names, and any instruction under the invalid class FF, is
// "instruction XX".
std::string InstructionName(std::uint8_t cla, std::uint8_t ins);

}  // namespace quorvel
