#pragma once

#include <optional>
#include <string>

#include "sim/card_access.h"
#include "sim/card_walk.h"

namespace quorvel {

// What the user is told before being asked for PIN1 (CHV1 on a SIM), and whether to ask.
struct Pin1Outlook {
  CardKind kind = CardKind::kUnknown;
  std::string name;  // "PIN1" or "CHV1"
  bool ask = false;  // a PIN can be presented: not disabled, verified already or blocked
  std::optional<int> triesLeft;
  std::string text;  // "PIN1: 3 tries left", "CHV1 is disabled: nothing to verify", ...
};

// From a walk: a SIM's CHV1 as its MF's answer told it; a UICC is asked how many tries PIN1
// has left with VERIFY without data (AskPin1Tries), which presents no PIN and costs no try.
Pin1Outlook LookBeforePin1(CardAccess& card, const CardWalk& walk);

// Before any walk (the command line asks first): the card's kind from SELECT MF in class 00,
// else in class A0 with its GET RESPONSE, whose answer holds a SIM's CHV1 status; then as
// above.
Pin1Outlook LookBeforePin1(CardAccess& card);

}  // namespace quorvel
