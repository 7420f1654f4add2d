#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// The name of instruction INS under class CLA, as the card standards name it:
// - class A0 (GSM SIM): GSM 11.11's names ("VERIFY CHV", "RUN GSM ALGORITHM", "SEEK"…);
// - the UICC's classes (ETSI TS 102 221): under 0X, 4X and 6X the names it adds to ISO/IEC
//   7816-4's ("MANAGE SECURE CHANNEL", "AUTHENTICATE"), under 8X, CX and EX its own ("STATUS",
//   "RETRIEVE DATA"), under 80 alone the card-toolkit ones too ("FETCH", "ENVELOPE"…);
// - GlobalPlatform's classes 80 and 84: its card-management names ("INSTALL", "PUT KEY"…);
// - every class: ISO/IEC 7816-4's names (with those of its companion parts 7, 8 and 9 for the
//   instructions they add) for what the class's own standard leaves unnamed.
// Where two standards name an instruction differently under a class, both are given:
// "STATUS (UICC) or GET STATUS (GlobalPlatform)". An instruction no table names, and any
// instruction under the invalid class FF, is "instruction XX".
std::string InstructionName(std::uint8_t cla, std::uint8_t ins);

}  // namespace quorvel
