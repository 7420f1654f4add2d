#include "sim/pin_verification.h"

#include <algorithm>

#include "sim/file_info.h"
#include "sim/hex_text.h"

namespace quorvel {
namespace {

constexpr std::uint8_t kSimClass = 0xA0;
constexpr std::uint8_t kUiccClass = 0x00;
constexpr std::uint8_t kVerify = 0x20;
constexpr std::uint8_t kStatus = 0xF2;
constexpr std::uint8_t kPin1 = 0x01;
constexpr std::size_t kPinBytes = 8;
// The mandatory part of a SIM's directory answer, up to the CHV status bytes.
constexpr std::uint8_t kSimStatusLength = 0x16;

CardCommand Header(std::uint8_t cla, std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
                   std::uint8_t p3) {
  CardCommand command = NewCardCommand();
  const std::uint8_t header[] = {cla, ins, p1, p2, p3};
  std::copy(std::begin(header), std::end(header), command.header);
  command.direction = kFromCard;
  return command;
}

std::string Tries(int tries) {
  return std::to_string(tries) + (tries == 1 ? " try left" : " tries left");
}

// A SIM's CHV1 tries, read from its current directory's answer to STATUS.
std::optional<int> SimTriesLeft(CardAccess& card) {
  CardCommand status = Header(kSimClass, kStatus, 0, 0, kSimStatusLength);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const SimAnswer answer = card.Send(status, std::nullopt);
    if (!answer.completed) return std::nullopt;
    if (answer.sw() == 0x9000) {
      for (const PinState& pin : ParseGsmResponse(answer.data).pins) {
        if (pin.keyReference == kPin1) return pin.triesLeft;
      }
      return std::nullopt;
    }
    // 67 XX: XX is the length the card has.
    if (answer.sw1 != 0x67 && answer.sw1 != 0x6C) return std::nullopt;
    if (answer.sw2 == 0) return std::nullopt;
    status.header[4] = answer.sw2;
  }
  return std::nullopt;
}

}  // namespace

Pin1Status Pin1StatusOf(const CardWalk& walk) {
  Pin1Status status;
  const bool gsm = walk.kind == CardKind::kGsmSim;
  status.name = PinName(kPin1, gsm);
  const WalkedFile* source = nullptr;
  for (const WalkedFile& file : walk.files) {
    if (!file.directory || !file.info) continue;
    if (file.path == "3F00" && !source) source = &file;
    if (!gsm && file.name == "ADF.USIM") source = &file;
  }
  if (!source) return status;
  for (const PinState& pin : source->info->pins) {
    if (pin.keyReference != kPin1) continue;
    status.known = true;
    status.enabled = pin.enabled;
    status.triesLeft = pin.triesLeft;
  }
  return status;
}

PinTries AskPin1Tries(CardAccess& card) {
  PinTries tries;
  const SimAnswer answer = card.Send(Header(kUiccClass, kVerify, 0, kPin1, 0), std::nullopt);
  if (!answer.completed) {
    tries.text = "the card did not answer";
    return tries;
  }
  tries.answered = true;
  if (answer.sw() == 0x9000) {
    tries.satisfied = true;
    tries.text = "PIN1 is verified or disabled";
  } else if (answer.sw1 == 0x63 && (answer.sw2 & 0xF0) == 0xC0) {
    tries.triesLeft = answer.sw2 & 0x0F;
    tries.text = "PIN1: " + Tries(*tries.triesLeft);
  } else if (answer.sw() == 0x6983) {
    tries.triesLeft = 0;
    tries.text = "PIN1 is blocked";
  } else {
    tries.answered = false;
    tries.text = "the card does not tell PIN1's tries";
  }
  return tries;
}

PinVerification VerifyPin1(CardAccess& card, CardKind kind, std::string_view pin) {
  PinVerification result;
  const bool gsm = kind == CardKind::kGsmSim;
  const std::string name = PinName(kPin1, gsm);
  if (pin.size() < 4 || pin.size() > kPinBytes ||
      !std::all_of(pin.begin(), pin.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    result.text = name + " must be 4 to 8 digits: nothing was sent";
    return result;
  }
  CardCommand verify = Header(gsm ? kSimClass : kUiccClass, kVerify, 0, kPin1, kPinBytes);
  verify.direction = kToCard;
  std::fill(verify.data, verify.data + kPinBytes, 0xFF);
  std::copy(pin.begin(), pin.end(), verify.data);
  const SimAnswer answer = card.Send(verify, std::nullopt);
  // Wiped so that no copy of the digits outlives the exchange.
  volatile std::uint8_t* digits = verify.data;
  for (std::size_t i = 0; i < kPinBytes; ++i) digits[i] = 0;
  result.sent = true;
  if (!answer.completed) {
    result.text = "the card did not answer";
    return result;
  }
  const std::uint16_t sw = answer.sw();
  if (sw == 0x9000) {
    result.verified = true;
    result.text = name + " verified";
  } else if (sw == 0x6983 || sw == 0x9840) {
    result.triesLeft = 0;
    result.text = name + " is blocked";
  } else if (answer.sw1 == 0x63 && (answer.sw2 & 0xF0) == 0xC0) {
    result.triesLeft = answer.sw2 & 0x0F;
    result.text = "wrong " + name + ": " + Tries(*result.triesLeft);
  } else if (gsm && sw == 0x9804) {
    result.triesLeft = SimTriesLeft(card);
    result.text = "wrong " + name + (result.triesLeft ? ": " + Tries(*result.triesLeft) : "");
  } else if (gsm && sw == 0x9808) {
    result.text = name + " is disabled: nothing to verify";
  } else {
    const std::uint8_t bytes[] = {answer.sw1, answer.sw2};
    result.text = name + " not verified (" + HexText(bytes) + ")";
  }
  return result;
}

}  // namespace quorvel
