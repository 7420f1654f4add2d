#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "iso7816/protocol.h"
#include "iso7816/transmission_rate.h"

namespace quorvel {

// One line of an ATR's explanation and the received bytes it covers.
struct AtrItem {
  std::size_t offset = 0;  // index of the first byte covered
  std::size_t length = 0;  // bytes covered; 0 for a note about bytes that never came
  std::string text;        // one line, starting with the bytes' name and value
};

enum class AtrConvention { kNone, kDirect, kInverse };

// What the check byte TCK says.
enum class AtrCheck {
  kUnknown,    // no ATR, or it ends before it is known whether a TCK is due
  kNotNeeded,  // only T=0 is offered, so no TCK belongs to the ATR
  kCorrect,    // the XOR of T0 through TCK is 00
  kWrong,      // the XOR of T0 through TCK is not 00
  kMissing,    // a protocol other than T=0 is offered but the bytes end before the TCK
};

// An ATR read as ISO/IEC 7816-3 lays it out.
struct AtrDescription {
  std::vector<AtrItem> items;  // in byte order, then notes about missing or extra bytes
  AtrConvention convention = AtrConvention::kNone;
  bool complete = false;            // every byte the ATR announces arrived
  std::size_t atrLength = 0;        // bytes of the ATR among those received (0: no ATR)
  std::size_t extraBytes = 0;       // bytes received after a complete ATR
  std::uint16_t protocols = 0;      // bit T set for each T the TDi name; T=0 without TD1
  std::size_t historicalCount = 0;  // K, from T0
  AtrCheck check = AtrCheck::kUnknown;
};

// Explains the bytes received after a reset: every byte of the ATR by name and meaning, the
// historical bytes with their compact-TLV objects, the TCK, and what is missing or extra.
// Speeds and waiting times are those of a card clocked at `clockHz` by the reader.
// `choice` is the settings string's proto=: the PPS request TA1's explanation proposes asks
// for the protocol it leads to.
AtrDescription DecodeAtr(std::span<const std::uint8_t> received,
                         std::uint32_t clockHz = kDefaultReaderClockHz,
                         ProtocolChoice choice = ProtocolChoice::kByCard);

// The items' texts, one a line, each line ending in '\n'.
std::string RenderAtr(const AtrDescription& description);

// The protocols a whole ATR offers (ISO/IEC 7816-3 8.2.3 and clause 9).
struct AtrProtocols {
  std::uint16_t offered = 1;  // bit T for each T that TD1, TD2, ... name (not T=15); T=0 alone
                              // without TD1
  std::uint8_t first = 0;     // T of TD1, T=0 without it: the protocol in use without PPS
  bool specificMode = false;  // TA2 is present: the card speaks TA2's protocol, no PPS
  std::uint8_t specific = 0;  // T that TA2 names, when specificMode
  bool checkWrong = false;    // a TCK is due and the XOR of T0 through TCK is not 00

  bool Offers(unsigned protocol) const { return protocol < 16 && ((offered >> protocol) & 1u); }
};

// The protocols of the ATR at the start of `atr`; nullopt until the whole ATR is in.
std::optional<AtrProtocols> ReadAtrProtocols(std::span<const std::uint8_t> atr);

// The protocol to use on a card with these protocols when the settings string chooses
// `choice`: in the specific mode TA2's own, when it is the one chosen (or none was);
// otherwise the one chosen if offered, or without a choice T=0 when offered, else T=1.
// nullopt when the card offers nothing that fits.
std::optional<CardProtocol> ChooseProtocol(const AtrProtocols& protocols, ProtocolChoice choice);

// The ATR's whole length once the bytes received so far determine it (TS is 3B or 3F, T0 and
// every TDi have arrived; the TCK counts when a protocol other than T=0 is offered), or
// nullopt while more bytes are needed to know it. Allocates nothing.
std::optional<std::size_t> CompleteAtrLength(std::span<const std::uint8_t> received);

}  // namespace quorvel
