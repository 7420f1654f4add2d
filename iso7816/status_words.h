#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// What SW1 SW2 mean after a command of class CLA and instruction INS, as one line of
// lower-case text. ISO/IEC 7816-4 holds for every class; before it come GSM 11.11 for class
// A0 (the SIM's own status words such as 9Fxx and 98xx), ETSI TS 102 221 and TS 31.102 for the
// UICC's classes 0X, 4X, 6X, 8X, CX and EX (91xx, 98 62…), GlobalPlatform for its classes 80
// and 84 (63 10, 94 84…). A status word only another class defines is named with what it
// means there. `ins` is the command's instruction, nullopt when no command is known (a status
// indicator in the ATR): it decides what the counter of 63 CX counts. `arrived` is how many
// of the two status bytes the card sent (0 to 2); a missing byte is named as never having
// arrived. Values no document defines are "not defined by ISO/IEC 7816-4 or GSM 11.11".
std::string ExplainStatusWord(std::uint8_t sw1, std::uint8_t sw2, int arrived, std::uint8_t cla,
                              std::optional<std::uint8_t> ins = std::nullopt);

}  // namespace quorvel
