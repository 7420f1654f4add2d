#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "card/command_exchange.h"
#include "iso7816/protocol.h"

namespace quorvel {

// What a row of the output list is. Its text never says more than the row shows; the
// kind and the exchange it belongs to let its explanation be made when asked for.
enum class RowKind : std::uint8_t {
  kResetMarker,    // "Reset..."
  kReceived,       // a hex row: ATR bytes after a Reset, the exchange's bytes after an Execute
  kStatus,         // SW1 SW2
  kFailure,        // "Command execution failed!"
  kLogHint,        // "Click Reset for new settings to take effect!"
  kPps,            // after a Reset with speed negotiation: the PPS request's echo and the response
  kProtocolSetup,  // after the ATR and PPS: the blocks that set T=1 up, a piece each
};

// Kept beside every row: which Reset or Execute it belongs to, what it is, and for a
// hex row its place among that reception's rows.
struct RowTag {
  static constexpr std::uint32_t kNoExchange = 0xFFFFFFFF;

  std::uint32_t exchange = kNoExchange;  // index of its ExchangeRecord
  RowKind kind = RowKind::kReceived;
  std::uint16_t piece = 0;     // hex rows: which piece of the reception (T=1: which block)
  std::uint16_t position = 0;  // hex rows: 0 for the piece's first row
};

// The most ATR bytes a Reset reads.
inline constexpr unsigned kMaxAtrBytes = 64;

// How the card's speed was settled after its ATR, when Quorvel was asked to.
struct SpeedUsed {
  bool requestSent = false;
  std::uint8_t request[4] = {0, 0, 0, 0};  // the PPS request, when it was sent
  std::uint32_t baud = 0;                  // the line's rate afterwards
  std::string note;                        // what was done, in one line
};

// The settings a Reset ran with; only Resets carry them.
struct ResetSettingsUsed {
  std::string resetSettings;             // applied for the reset pulse
  std::string executeSettings;           // named the port, applied again afterwards
  std::string reader;                    // a PC/SC reader's name; empty on the serial line
  std::string readerNote;                // what the reader makes of the settings string
  std::optional<CardProtocol> protocol;  // the protocol the card speaks from here
  bool inverse = false;
  std::uint32_t clockHz = 0;         // the reader's clock, for the ATR's speeds; 0: the usual one
  std::string resetAgainBecause;     // a second reset, after speed negotiation failed
  std::unique_ptr<SpeedUsed> speed;  // speed negotiation followed the ATR
  std::string logTrouble;            // why the log does not hold this Reset, or not all of it
  std::vector<ExchangeBlock> setupBlocks;  // T=1: the S(IFS) exchange after the ATR
};

enum class ExchangeKind : std::uint8_t { kReset, kExecute };

// Why Quorvel sent a command by itself: the card's status word asked for it (T=0 cases 2
// and 4, ISO/IEC 7816-3). Only such exchanges carry it.
struct AutomaticCause {
  enum class Kind : std::uint8_t {
    kGetResponse,  // after 61 XX or 9F XX: GET RESPONSE with P3 = XX
    kResend,       // after 6C XX: the same command again with P3 = XX
  };
  Kind kind = Kind::kGetResponse;
  std::uint8_t statusWord[2] = {0, 0};  // the card's answer that asked for it
  // The list's command that began it.
  std::string listComment;
  std::uint8_t listHeader[5] = {0, 0, 0, 0, 0};
  bool lastAllowed = false;  // the card asked for more, but no more are sent
};

// One Reset or Execute as it happened, enough to explain its rows later: the command as it
// was then (it may be edited or deleted since), how the exchange ended and when.
struct ExchangeRecord {
  ExchangeKind kind = ExchangeKind::kExecute;
  ExchangeStop stop = ExchangeStop::kComplete;
  ExchangeFraming framing = ExchangeFraming::kT0Echo;
  std::uint8_t header[5] = {0, 0, 0, 0, 0};
  std::uint8_t direction = 0;
  std::uint32_t received = 0;  // bytes shown in the hex rows
  std::chrono::system_clock::time_point started;
  std::chrono::nanoseconds took{0};
  std::string comment;                        // Execute: the command's comment
  std::string failure;                        // kTransmitFailed: why, in words
  std::vector<ExchangeBlock> blocks;          // T=1: every block sent and received
  std::uint32_t clearedBeforeHeader = 0;      // whole T=0: unasked bytes taken off the line
  std::unique_ptr<ResetSettingsUsed> reset;   // Reset only
  std::unique_ptr<AutomaticCause> automatic;  // commands Quorvel sent by itself only
  // The last exchange of a command that says what it must answer: "expected 90 00: met".
  std::unique_ptr<std::string> expectation;
};

}  // namespace quorvel
