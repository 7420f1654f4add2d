#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "card/command_exchange.h"
#include "iso7816/pps.h"
#include "iso7816/protocol.h"
#include "port/card_port.h"

namespace quorvel {

// What came of settling the card's speed after its ATR.
enum class SpeedOutcome {
  kNoPps,            // nothing to negotiate, or the port is closed: the line stays
  kSpecificMode,     // TA2: no PPS; the line runs at TA1's rate, or stays (implicit values)
  kAccepted,         // the card took the PPS request: the line runs at TA1's rate
  kKeptDefault,      // the card answered without PPS1: it keeps Fd and Dd, the line stays
  kFailed,           // no answer, cut short, wrong PCK or another answer: the card needs a reset
  kRateUnavailable,  // the serial port cannot run the card's rate: the line stays
  kNoProtocol,       // the card offers no protocol that the settings allow: no PPS, no command
};

struct SpeedNegotiation {
  SpeedOutcome outcome = SpeedOutcome::kNoPps;
  AtrSpeedOffer offer;  // what the ATR asked for
  // The protocol the card speaks from now on; none when it speaks none that the settings
  // allow, and then no command is sent to it until the next Reset.
  std::optional<CardProtocol> protocol = CardProtocol::kT0;
  bool requestSent = false;  // a PPS request went out: request and verdict tell of it
  PpsRequest request{};
  PpsVerdict verdict = PpsVerdict::kNoAnswer;
  // The echo of the request, then the card's response, as received (after the inverse
  // convention): the bytes of the Reset's PPS row, to count, show and log.
  std::vector<std::uint8_t> received;
  std::uint32_t baud = 0;   // the line's rate now; 0 with the port closed
  bool resetAgain = false;  // the card must be reset, without PPS, before it is used
  // What setting up the protocol sent and received after the PPS (T=1: the S(IFS) exchange
  // that announces IFSD): the bytes shown, where their rows break, and the blocks.
  std::vector<std::uint8_t> setupReceived;
  std::vector<std::uint32_t> setupPieces;
  std::vector<ExchangeBlock> setupBlocks;
  // One line for the Reset's explanation and for standard error: what was done, the rate
  // and the protocol in use, such as "The card refused the PPS request: reset again at 9600
  // baud; protocol T=0", and a warning when the reader's clock is above the card's f(max).
  std::string note;
};

// Settles the card's protocol and speed from the ATR just read, with the port open at the
// Execute settings and the card clocked at clockHz (ISO/IEC 7816-3):
// - The protocol is the one `choice` leads to (ChooseProtocol). One other than the first the
//   ATR offers is selected by a PPS request, whatever changeSpeed says; a card that offers
//   none that fits, or whose TA2 fixes another, gets no PPS and no command. So does a card
//   whose ATR has a wrong TCK, unless it speaks the protocol to use without PPS.
// - With changeSpeed, TA1 offering Fi and Di other than 372 and 1 and no TA2: the PPS
//   request carries PPS1 = TA1, unless the port cannot run the rate it asks for. Its echo
//   and the card's response are read with the initial waiting time allowed before each
//   character (ReadEachWithin). A response equal to the request puts the line at the new
//   rate; one that leaves PPS1 out keeps it; anything else means the card must be reset
//   (resetAgain), which is the caller's to do, and then speaks its first protocol.
// - With changeSpeed, TA2 with TA1's values: no PPS, the line goes to TA1's rate; a port
//   that cannot run it means a reset too. TA2 with implicit values: no PPS, the line stays.
// Only the rate of the line changes: its parity, data and stop bits stay.
SpeedNegotiation NegotiateSpeed(CCardPort& port, std::span<const std::uint8_t> atr,
                                std::uint32_t clockHz,
                                ProtocolChoice choice = ProtocolChoice::kByCard,
                                bool changeSpeed = true);

}  // namespace quorvel
