#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "card/exchange_record.h"
#include "iso7816/protocol.h"

namespace quorvel {

// What a Reset learnt once its answer time was over.
struct ResetAnswer {
  std::chrono::system_clock::time_point started;
  std::chrono::nanoseconds took{0};
  std::vector<std::uint8_t> atr;         // every byte read, at most 64
  bool speedFollows = false;             // the card's protocol and speed are settled next
  std::optional<CardProtocol> protocol;  // as the reader reports it now
};

// The card's protocol and speed, settled right after the ATR.
struct SpeedAnswer {
  bool negotiated = false;  // something was negotiated: speed and received tell what
  SpeedUsed speed;
  std::vector<std::uint8_t> received;    // the request's echo and the card's PPS response
  std::optional<CardProtocol> protocol;  // the protocol the card speaks from here
  // What setting the protocol up brought after that (T=1: the S(IFS) exchange), one piece a
  // block, and the blocks.
  std::vector<std::uint8_t> setupReceived;
  std::vector<std::uint32_t> setupPieces;
  std::vector<ExchangeBlock> setupBlocks;
};

// One exchange as it ended: what was sent, how it ended, every byte received.
struct CommandAnswer {
  ExchangeRecord record;  // the command as sent, where it stopped, when, and why if automatic
  int result = 0;         // 1: it reached the status phase
  // The command as it went to the card: CLA INS P1 P2 P3, the data sent, and a case 4
  // command's Le last where the reader sent it.
  std::vector<std::uint8_t> sent;
  std::vector<std::uint8_t> received;  // what the rows show: never the status word alone
  std::vector<std::uint32_t> pieces;   // where the rows break (ExchangeState::pieces)
  std::vector<std::uint8_t> response;  // the answer's data bytes, without SW1 SW2
  std::uint8_t statusWord[2] = {0, 0};
  int statusArrived = 0;
};

// Where a Reset or an Execute shows what it did, step by step and in order: the output
// list, the counter and the log, directly on one thread or handed to the window's thread.
class SessionDisplay {
 public:
  virtual ~SessionDisplay() = default;
  // The port is open again and the reset pulse is about to go out: "Reset...".
  virtual void ResetBegun(ExchangeRecord record) = 0;
  // The ATR: counter, rows and log.
  virtual void ResetAnswered(const ResetAnswer& answer) = 0;
  // After a ResetAnswered whose speed follows: the protocol in use and, when something was
  // negotiated, the PPS row, counted and logged. Ends the Reset.
  virtual void SpeedSettled(const SpeedAnswer& answer) = 0;
  // One exchange: the failure row, counter, rows, status row and log.
  virtual void CommandAnswered(CommandAnswer answer) = 0;
};

}  // namespace quorvel
