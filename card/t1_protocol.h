#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "card/command_exchange.h"
#include "card/t1_block_link.h"
#include "iso7816/t1_block.h"
#include "iso7816/t1_parameters.h"

namespace quorvel {

// The IFSD Quorvel announces after the ATR, the PPS and every resynchronisation; until the
// card has taken it, the card's blocks are held to the default 32.
inline constexpr unsigned kT1ReaderIfsd = 254;
inline constexpr unsigned kT1DefaultIfsd = 32;
// The most answer data one command takes (the status word comes on top): a chain that goes
// on past it is aborted.
inline constexpr std::size_t kT1MaxAnswerData = 65536;
// How often the card may ask for more time or set its IFSC within one command.
inline constexpr unsigned kT1MaxCardRequests = 100;
// How often a block is sent again (or an R-block asks for one again) before Quorvel
// resynchronises, and how often S(RESYNCH request) is sent before the card needs a Reset.
inline constexpr unsigned kT1Resends = 2;

struct T1Answer {
  bool complete = false;           // the whole answer came, with its status word
  std::vector<std::uint8_t> data;  // the answer's data, without SW1 SW2
};

// The terminal's side of T=1 (ISO/IEC 7816-3 clause 11) for one card session, from its ATR
// to the next Reset: the send and receive sequence numbers, which run on from command to
// command, IFSC and IFSD, and whether the card needs a Reset before anything more. Every
// block sent and received lands in the ExchangeState it is given, with its meaning; every
// byte received (the echo of each block sent, then each block received) in `received`,
// one piece a block.
class T1Protocol {
 public:
  explicit T1Protocol(const T1Parameters& parameters);

  // Offers IFSD 254 with S(IFS request), as the first block after the ATR and any PPS.
  // True when the card took it; otherwise the state says why, and the card may need a Reset.
  bool AnnounceIfsd(T1BlockLink& link, ExchangeState& state);

  // Sends one command APDU, chained in blocks of at most IFSC bytes, and reassembles the
  // card's answer, acknowledging each block of its chain. The card's S(IFS), S(WTX) and
  // S(ABORT) requests are answered; blocks in error are asked for again, a block is sent
  // again at most twice, then the exchange is resynchronised (S(RESYNCH)), which loses the
  // command. On success the state's status word is the answer's last two bytes.
  T1Answer Transmit(T1BlockLink& link, std::span<const std::uint8_t> apdu, ExchangeState& state);

  bool needsReset() const { return !resetReason_.empty(); }
  // Why the card needs a Reset, as a sentence; empty when it does not.
  const std::string& resetReason() const { return resetReason_; }
  unsigned ifsc() const { return ifsc_; }
  unsigned ifsd() const { return ifsd_; }
  int sendSequence() const { return sendSequence_; }
  int receiveSequence() const { return receiveSequence_; }

 private:
  class Conversation;

  T1Edc edc_;
  unsigned initialIfsc_;
  unsigned ifsc_;
  unsigned ifsd_ = kT1DefaultIfsd;
  int sendSequence_ = 0;     // N(S) of Quorvel's next I-block
  int receiveSequence_ = 0;  // N(S) due in the card's next I-block
  std::string resetReason_;
};

}  // namespace quorvel
