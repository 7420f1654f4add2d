#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "card/card_channel.h"
#include "card/command_exchange.h"
#include "card/output_panel.h"
#include "card/session_display.h"
#include "card/speed_negotiation.h"
#include "commands/card_command.h"
#include "commands/script_expectation.h"
#include "iso7816/transmission_rate.h"
#include "port/clock.h"

namespace quorvel {

// Rows of the card dialogue that are shown, never logged.
inline constexpr const char* kResetMarker = "Reset...";
inline constexpr const char* kExecutionFailed = "Command execution failed!";

// When the last Reset or exchange began and how long it took.
struct ExchangeTiming {
  std::chrono::system_clock::time_point started;  // wall-clock time, for people to read
  std::chrono::nanoseconds took{0};               // by the port's clock
};

// How one command of a list went, its automatic followers included.
struct ExecuteOutcome {
  int result = 0;         // the last exchange's: 1 when it reached its status word
  bool expected = false;  // the command says what it must answer
  bool met = true;        // and the last exchange's answer met it
  bool bound = false;     // the card still asked for more after the most automatic commands
  bool stopped = false;   // a stop request ended its automatic commands early
  std::string report;     // "expected 90 00, got 6A 82" when it says what it must answer

  // It did what it should: an answer that meets what the command expects (a refusal
  // included), or without an expectation one that reached its status word; and the card did
  // not go on asking for more.
  bool succeeded() const { return !bound && !stopped && (expected ? met : result == 1); }
};

// One reset pulse of a Reset and what followed it: a Reset whose speed negotiation failed
// has two, the second without negotiation.
struct ResetRound {
  std::vector<std::uint8_t> atr;
  std::chrono::nanoseconds took{0};
  std::optional<SpeedNegotiation> speed;   // what was negotiated after this ATR
  std::optional<CardProtocol> protocol;    // the protocol the card spoke afterwards
  std::vector<ExchangeBlock> setupBlocks;  // T=1: the S(IFS) exchange after this ATR
};

// The card dialogue of Reset and Execute: it drives the card channel and hands what
// arrives, step by step, to a display that shows, counts and logs it. The window and the
// command line both run it, on any reader, so their rows and log bytes are the same.
class CardSession {
 public:
  // exchange is the owner's field that every exchange fills.
  CardSession(CardChannel& channel, Clock& clock, SessionDisplay& display, ExchangeState& exchange);
  // Shows straight into the output panel; totalBytes is the owner's byte count.
  CardSession(CardChannel& channel, Clock& clock, OutputPanel& output, ExchangeState& exchange,
              std::uint32_t& totalBytes);
  ~CardSession();

  // Reopens the reader named by the Execute settings, shows "Reset...", resets the card
  // (on the serial line: the reset pulse with the Reset settings), has its ATR counted,
  // shown and logged, and puts the line back into the Execute settings. The protocol and,
  // when asked, the speed are then settled (PPS), their bytes shown as one more row; a card
  // that must be reset after a failed negotiation is reset once more without it.
  void Reset(const char* executeSettings, const char* resetSettings);
  // Runs one command and has what came back shown: the failure row, the hex rows, the
  // status row. With automatic answers on, the commands the card's answers ask for
  // follow, each shown as an exchange of its own. Returns the last exchange's result, 1
  // or 0: a card's answer that was taken up automatically decides nothing by itself.
  int Execute(const CardCommand& command);
  // The same for a command that says what it must answer (its last exchange is checked,
  // and the report stands in that exchange's record for its status row to explain), and
  // the Le a case 4 command keeps after its data.
  ExecuteOutcome Execute(const CardCommand& command, const Expectation& expect,
                         std::optional<std::uint16_t> le = std::nullopt);

  // Answer 61xx, 9Fxx (GET RESPONSE) and 6Cxx (the same command with P3 = xx) by itself.
  void SetAutomaticResponses(bool on) { automatic_responses_ = on; }
  bool automaticResponses() const { return automatic_responses_; }
  // After the ATR, ask for the speed the card offers (ISO/IEC 7816-3, PPS).
  void SetSpeedNegotiation(bool on);
  // The clock the reader feeds the card, in Hz: the rates follow from it.
  void SetReaderClock(std::uint32_t hz);
  // Follow every T=0 procedure byte on the serial line.
  void SetFullT0(bool on);
  // A flag that, once set, ends a chain of automatic commands before the next one.
  void SetStopFlag(const std::atomic<bool>* stop);
  // How the last Reset settled the card's speed; empty note when it did not try.
  const SpeedNegotiation& lastSpeed() const { return speed_; }
  // Every byte of the last Reset's ATR, the second one's after a failed negotiation.
  const std::vector<std::uint8_t>& lastAtr() const { return atr_; }
  // Each reset pulse of the last Reset, in order.
  const std::vector<ResetRound>& lastRounds() const { return rounds_; }
  ChannelInUse inUse() const { return channel_.InUse(); }
  CardChannel& channel() { return channel_; }
  // What the last exchange filled: its received bytes, status word and where it ended.
  const ExchangeState& lastExchange() const { return exchange_; }

  const ExchangeTiming& lastTiming() const { return timing_; }

 private:
  void StartTiming();
  void StopTiming();
  // The reset and the ATR, shown; the line back in the Execute settings. Returns the ATR.
  std::vector<std::uint8_t> ResetAndRead(const char* executeSettings, const char* resetSettings,
                                         const std::string& againBecause, bool speedFollows);
  // What the exchange just run hands to the display.
  CommandAnswer AnswerOf(const CardCommand& command, std::optional<std::uint16_t> le, int result,
                         std::unique_ptr<AutomaticCause> cause) const;

  CardChannel& channel_;
  Clock& clock_;
  std::unique_ptr<SessionDisplay> own_display_;  // for the output panel constructor
  SessionDisplay& display_;
  ExchangeState& exchange_;
  bool automatic_responses_ = false;
  ChannelOptions options_;
  const std::atomic<bool>* stop_ = nullptr;
  SpeedNegotiation speed_;
  std::vector<std::uint8_t> atr_;
  std::vector<ResetRound> rounds_;
  ExchangeTiming timing_;
  std::chrono::nanoseconds started_at_{0};
};

}  // namespace quorvel
