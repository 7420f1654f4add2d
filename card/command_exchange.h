#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands/card_command.h"
#include "port/card_port.h"

namespace quorvel {

// Where an exchange's bytes stand among those it received: the header's echo, the
// procedure byte, then the data phase.
inline constexpr unsigned kHeaderBytes = 5;
inline constexpr unsigned kProcedureBytePosition = 5;
inline constexpr unsigned kDataPosition = 6;

// Where an exchange ended.
enum class ExchangeStop : std::uint8_t {
  kComplete,            // it reached the status phase
  kNoEcho,              // fewer than the 5 echo bytes of the header came back
  kNoProcedureByte,     // the echo, then nothing
  kWrongProcedureByte,  // another byte than INS in place of the procedure byte
  kShortDataEcho,       // data sent to the card, fewer bytes echoed
  kTransmitFailed,      // the reader or the block protocol gave up: `failure` says why
};

// How the received bytes of an exchange stand in its rows.
enum class ExchangeFraming : std::uint8_t {
  kT0Echo,  // the serial line's T=0: header echo, procedure byte, data phase
  // The whole of T=0: header echo, then every procedure byte (NULL, INS, its complement)
  // with the data it let through.
  kT0Procedures,
  kApdu,      // a PC/SC reader: the answer's data bytes, without SW1 SW2
  kT1Blocks,  // the serial line's T=1: each block's echo and each block received, whole
};

// One T=1 block as it crossed the line, for explanations and JSON.
struct ExchangeBlock {
  bool sent = false;                // Quorvel's block, or the card's
  std::vector<std::uint8_t> bytes;  // prologue, information field, epilogue
  std::string meaning;              // "I-block N(S)=1, more follows, 32 bytes; LRC right"
  // The piece of the exchange's received bytes that shows it (for a block sent, its echo);
  // -1 when none does (an echo that never came).
  std::int32_t piece = -1;
};

// The most bytes the exchange over the echoing line receives: the header's echo, the
// procedure byte and 255 data bytes.
inline constexpr unsigned kMaxExchangeBytes = 261;

// What an exchange filled: the bytes it received, its status word and where it ended.
struct ExchangeState {
  ExchangeFraming framing = ExchangeFraming::kT0Echo;
  // Every byte received but the status bytes, in arrival order: header echo, procedure
  // byte, data phase. Its size is the exchange's count.
  std::vector<std::uint8_t> received;
  // Where `received` falls into pieces each shown as rows of their own (T=1: one piece a
  // block): their lengths, in order. Empty: one piece.
  std::vector<std::uint32_t> pieces;
  // The answer's data bytes without SW1 SW2, on every reader: on the serial line's T=0 the
  // bytes after the procedure byte of a command that reads from the card.
  std::vector<std::uint8_t> response;
  std::uint8_t statusWord[2] = {0, 0};  // SW1 SW2
  int statusArrived = 0;                // status bytes that arrived in the last status phase
  ExchangeStop stop = ExchangeStop::kComplete;  // where the last exchange ended
  std::string failure;                          // kTransmitFailed: why, in words
  std::vector<ExchangeBlock> blocks;            // T=1: every block sent and received
  std::uint32_t clearedBeforeHeader = 0;        // whole T=0: unasked bytes, cleared
};

// Runs one command over the echoing line as the terminal side of T=0: header, echo and
// procedure byte, data in one block, status bytes. Returns 1 when the exchange reached
// the status phase, 0 when it stopped before. The port times every wait, the 50 ms and
// 150 ms before the procedure byte included.
int ExchangeCommand(CCardPort& port, const CardCommand& command, ExchangeState& state);

}  // namespace quorvel
