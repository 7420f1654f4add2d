#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "card/command_exchange.h"
#include "card/output_panel.h"
#include "card/session_display.h"
#include "card/speed_negotiation.h"
#include "commands/card_command.h"
#include "commands/script_expectation.h"
#include "iso7816/transmission_rate.h"
#include "port/card_port.h"
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
  std::string report;     // "expected 90 00, got 6A 82" when it says what it must answer
};

// The card dialogue of Reset and Execute: it drives the port and hands what arrives, step
// by step, to a display that shows, counts and logs it. The window and the command line
// both run it, so their rows and log bytes are the same.
class CardSession {
 public:
  // exchange is the owner's field that every exchange fills.
  CardSession(CCardPort& port, Clock& clock, SessionDisplay& display, ExchangeState& exchange);
  // Shows straight into the output panel; totalBytes is the owner's byte count.
  CardSession(CCardPort& port, Clock& clock, OutputPanel& output, ExchangeState& exchange,
              std::uint32_t& totalBytes);
  ~CardSession();

  // Reopens the port named by the Execute settings, shows "Reset...", pulses the reset
  // line with the Reset settings, reads up to 64 ATR bytes, has them counted, shown and
  // logged, and puts the port back into the Execute settings. The caller has emptied the
  // output list and opened the log. With speed negotiation on, the card's speed is then
  // settled (PPS), its bytes shown as one more row; a card that must be reset after a
  // failed negotiation is reset once more without it. The protocol is settled either way,
  // by the Execute settings' proto= and the ATR: a card that speaks none that fits gets no
  // command until the next Reset.
  void Reset(const char* executeSettings, const char* resetSettings);
  // Runs one command and has what came back shown: the failure row, the hex rows, the
  // status row. With automatic answers on, the commands the card's answers ask for
  // follow, each shown as an exchange of its own. Returns the last exchange's result, 1
  // or 0: a card's answer that was taken up automatically decides nothing by itself.
  int Execute(const CardCommand& command);
  // The same for a command that says what it must answer: its last exchange is checked, and
  // the report stands in that exchange's record for its status row to explain.
  ExecuteOutcome Execute(const CardCommand& command, const Expectation& expect);

  // Answer 61xx, 9Fxx (GET RESPONSE) and 6Cxx (the same command with P3 = xx) by itself.
  void SetAutomaticResponses(bool on) { automatic_responses_ = on; }
  bool automaticResponses() const { return automatic_responses_; }
  // After the ATR, ask for the speed the card offers (ISO/IEC 7816-3, PPS).
  void SetSpeedNegotiation(bool on) { negotiate_speed_ = on; }
  // The clock the reader feeds the card, in Hz: the rates follow from it.
  void SetReaderClock(std::uint32_t hz) { clock_hz_ = hz; }
  // How the last Reset settled the card's speed; empty note when it did not try.
  const SpeedNegotiation& lastSpeed() const { return speed_; }

  const ExchangeTiming& lastTiming() const { return timing_; }

 private:
  void StartTiming();
  void StopTiming();
  // The pulse and the ATR, shown; the port back in the Execute settings. Returns the ATR.
  std::vector<std::uint8_t> PulseAndRead(const char* executeSettings, const char* resetSettings,
                                         const std::string& againBecause, bool speedFollows);
  // An exchange that sends nothing: the last Reset found no protocol to speak with the card.
  int Refuse();
  // What the exchange just run hands to the display.
  CommandAnswer AnswerOf(const CardCommand& command, int result,
                         std::unique_ptr<AutomaticCause> cause) const;

  CCardPort& port_;
  Clock& clock_;
  std::unique_ptr<SessionDisplay> own_display_;  // for the output panel constructor
  SessionDisplay& display_;
  ExchangeState& exchange_;
  bool automatic_responses_ = false;
  bool negotiate_speed_ = false;
  std::uint32_t clock_hz_ = kDefaultReaderClockHz;
  SpeedNegotiation speed_;
  ExchangeTiming timing_;
  std::chrono::nanoseconds started_at_{0};
};

}  // namespace quorvel
