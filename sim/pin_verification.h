#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/card_access.h"
#include "sim/card_walk.h"

namespace quorvel {

// PIN1 (CHV1 on a SIM) as the walk found it in the SELECT answers.
struct Pin1Status {
  bool known = false;  // a directory's answer told of it
  bool enabled = false;
  std::optional<int> triesLeft;  // a SIM's CHV1 status byte; a UICC's FCP gives none
  std::string name;              // "CHV1" or "PIN1"
};

// From the MF's answer on a SIM; from ADF.USIM's (else the MF's) on a UICC.
Pin1Status Pin1StatusOf(const CardWalk& walk);

struct PinTries {
  bool answered = false;   // the card gave an answer that says
  bool satisfied = false;  // 90 00: PIN1 verified already, or disabled
  std::optional<int> triesLeft;
  std::string text;
};

// Asks a UICC how many tries PIN1 has left with VERIFY without data (00 20 00 01, TS 102 221
// 11.1.9), which presents no PIN and counts no try: 63 CX gives X, 69 83 blocked. Only for a
// caller about to ask the user for the PIN, when the walk found no count.
PinTries AskPin1Tries(CardAccess& card);

struct PinVerification {
  bool sent = false;  // VERIFY went to the card
  bool verified = false;
  std::optional<int> triesLeft;
  std::string text;  // "PIN1 verified", "wrong PIN1: 2 tries left", ...
};

// Presents `pin` once with VERIFY of PIN1/CHV1 (A0 20 00 01 08 on a SIM, 00 20 00 01 08 on a
// UICC): its digits in ASCII, padded with FF to eight bytes. A PIN that is not 4 to 8 digits
// is refused before anything is sent. The command's copy of the digits is wiped once sent; the
// PIN is kept nowhere. After a wrong CHV1 a SIM is asked for the tries left with STATUS.
PinVerification VerifyPin1(CardAccess& card, CardKind kind, std::string_view pin);

}  // namespace quorvel
