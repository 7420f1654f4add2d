#include "explore/pin1_outlook.h"

#include <algorithm>
#include <array>

#include "sim/file_info.h"
#include "sim/pin_verification.h"

namespace quorvel {
namespace {

constexpr std::uint8_t kUiccClass = 0x00;
constexpr std::uint8_t kSimClass = 0xA0;

CardCommand Command(std::uint8_t cla, std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
                    std::uint8_t p3) {
  CardCommand command = NewCardCommand();
  const std::array<std::uint8_t, 5> header = {cla, ins, p1, p2, p3};
  std::copy(header.begin(), header.end(), command.header);
  command.direction = kFromCard;
  return command;
}

// SELECT MF (3F 00) as a UICC (return the FCP) or as a SIM.
CardCommand SelectMasterFile(std::uint8_t cla) {
  CardCommand select = Command(cla, 0xA4, 0x00, cla == kUiccClass ? 0x04 : 0x00, 2);
  select.direction = kToCard;
  select.data[0] = 0x3F;
  select.data[1] = 0x00;
  return select;
}

std::string Tries(int tries) {
  return std::to_string(tries) + (tries == 1 ? " try left" : " tries left");
}

}  // namespace

Pin1Outlook LookBeforePin1(CardAccess& card, const CardWalk& walk) {
  Pin1Outlook outlook;
  outlook.kind = walk.kind;
  const Pin1Status status = Pin1StatusOf(walk);
  outlook.name = status.name;
  if (walk.kind == CardKind::kUnknown) {
    outlook.text = "Not a SIM or UICC: no PIN1 to verify.";
    return outlook;
  }
  if (status.known && !status.enabled) {
    outlook.text = status.name + " is disabled: nothing to verify.";
    return outlook;
  }
  if (walk.kind == CardKind::kGsmSim) {
    outlook.triesLeft = status.triesLeft;
    outlook.ask = !status.triesLeft || *status.triesLeft > 0;
    outlook.text = !status.triesLeft ? status.name + ": the card does not tell the tries left."
                   : *status.triesLeft > 0 ? status.name + ": " + Tries(*status.triesLeft) + "."
                                           : status.name + " is blocked: nothing to verify.";
    return outlook;
  }
  const PinTries tries = AskPin1Tries(card);
  outlook.triesLeft = tries.triesLeft;
  if (tries.satisfied) {
    outlook.text = "PIN1 is verified already or disabled: nothing to verify.";
  } else if (tries.triesLeft == 0) {
    outlook.text = "PIN1 is blocked: nothing to verify.";
  } else {
    outlook.ask = true;
    outlook.text = tries.triesLeft ? "PIN1: " + Tries(*tries.triesLeft) + "."
                                   : "PIN1: the card does not tell the tries left.";
  }
  return outlook;
}

Pin1Outlook LookBeforePin1(CardAccess& card) {
  CardWalk probe;
  const SimAnswer uicc = card.Send(SelectMasterFile(kUiccClass), 256);
  if (uicc.completed && (uicc.sw1 == 0x61 || uicc.sw() == 0x9000)) {
    probe.kind = CardKind::kUicc;
    return LookBeforePin1(card, probe);
  }
  SimAnswer sim = card.Send(SelectMasterFile(kSimClass), std::nullopt);
  if (sim.completed && sim.sw1 == 0x9F)
    sim = card.Send(Command(kSimClass, 0xC0, 0, 0, sim.sw2), std::nullopt);
  if (sim.completed && sim.sw() == 0x9000) {
    probe.kind = CardKind::kGsmSim;
    WalkedFile mf;
    mf.path = "3F00";
    mf.directory = true;
    mf.info = ParseGsmResponse(sim.data);
    probe.files.push_back(std::move(mf));
  }
  return LookBeforePin1(card, probe);
}

}  // namespace quorvel
