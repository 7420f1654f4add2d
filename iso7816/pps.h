#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "iso7816/atr.h"

namespace quorvel {

// How the card's speed is settled right after its ATR (ISO/IEC 7816-3, specific and
// negotiable modes).
enum class AtrSpeedMode {
  kNoAtr,             // no complete ATR among the bytes: nothing to go by
  kDefault,           // no TA1, or TA1 names Fi=372, Di=1: the card stays at Fd, Dd
  kReservedValues,    // TA1 names a reserved Fi or Di: no speed can be derived
  kNegotiable,        // TA1 offers other Fi and Di: a PPS request may select them
  kSpecificTa1,       // TA2 with bit 5 = 0: the card speaks at TA1's Fi and Di at once
  kSpecificImplicit,  // TA2 with bit 5 = 1: implicit values, which the reader cannot know
};

// What the ATR asks of the reader about speed.
struct AtrSpeedOffer {
  AtrSpeedMode mode = AtrSpeedMode::kNoAtr;
  std::uint8_t fiDi = 0x11;  // TA1, or 11 (Fi=372, Di=1) without it
  std::uint8_t ta2 = 0;      // valid when hasTa2
  bool hasTa2 = false;
  std::uint8_t firstProtocol = 0;    // T of TD1; T=0 without TD1
  std::uint8_t waitingInteger = 10;  // WI from TC2; 10 without it (or when TC2 is 00)
  AtrProtocols protocols;            // what TD1, TD2, ... and TA2 offer; valid unless kNoAtr
};

// Reads TA1, TD1 and the other TDi, TA2, TC2 and the TCK of the ATR at the start of `atr`.
AtrSpeedOffer ReadSpeedOffer(std::span<const std::uint8_t> atr);

// The time the card may take before each character, until a PPS has changed anything:
// WT = 960 x WI x Fi / f with Fi = Fd = 372, rounded up.
std::chrono::microseconds InitialWaitingTime(std::uint8_t waitingInteger, std::uint32_t clockHz);

// PPSS, PPS0, PPS1 and PCK: the request for protocol T with PPS1 = fiDi. PCK makes the
// XOR of all its bytes 00.
using PpsRequest = std::array<std::uint8_t, 4>;
PpsRequest MakePpsRequest(std::uint8_t protocol, std::uint8_t fiDi);
// PPSS, PPS0 and PCK, the last byte 00: the request that selects protocol T alone, the card
// keeping Fd and Dd (FF 00 FF for T=0, FF 01 FE for T=1).
PpsRequest MakePpsRequest(std::uint8_t protocol);
// How many of the request's bytes go on the line: 4 with PPS1, 3 without.
unsigned PpsRequestLength(const PpsRequest& request);

// Bytes of the PPS message that starts with PPSS FF and this PPS0: PPSS, PPS0, one for each
// of PPS1, PPS2, PPS3 that bits 5 to 7 announce, and PCK.
unsigned PpsLength(std::uint8_t pps0);

// What a card's PPS response says about a request (ISO/IEC 7816-3, successful PPS exchange).
enum class PpsVerdict {
  kAccepted,     // equal to the request: its protocol, and Fi and Di of PPS1, from now on
  kKeptDefault,  // the same protocol with PPS1 left out: Fd and Dd stay
  kNoAnswer,     // nothing came
  kCutShort,     // the response ends before the bytes PPS0 announces are in
  kWrongCheck,   // the XOR of PPSS through PCK is not 00
  kRefused,      // anything else that differs from the request
};
PpsVerdict JudgePpsResponse(const PpsRequest& request, std::span<const std::uint8_t> response);
// Why an exchange with this verdict failed, as a phrase ("the card refused the PPS
// request"); empty for kAccepted and kKeptDefault.
const char* PpsFailureReason(PpsVerdict verdict);

// Explains the bytes received in a PPS exchange: the request's echo (its first bytes, as
// one item), then the card's response byte by byte, what is missing, and the verdict.
// Baud rates are given at the reader's clock.
std::vector<AtrItem> ExplainPps(const PpsRequest& request, std::span<const std::uint8_t> received,
                                std::uint32_t clockHz);

}  // namespace quorvel
