#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// What SW1 SW2 mean after a command of class CLA, as one line of lower-case text:
// ISO/IEC 7816-4 for every class, GSM 11.11 first for class A0 (the SIM's own status words
// such as 9Fxx and 98xx). `arrived` is how many of the two status bytes the card sent
// (0 to 2); a missing byte is named as never having arrived. Values neither document
// defines are "not defined by ISO/IEC 7816-4 or GSM 11.11".
std::string ExplainStatusWord(std::uint8_t sw1, std::uint8_t sw2, int arrived, std::uint8_t cla);

}  // namespace quorvel
