#pragma once

#include <chrono>
#include <cstdint>

#include "card/command_exchange.h"
#include "card/output_panel.h"
#include "commands/card_command.h"
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

// The card dialogue of Reset and Execute: it drives the port and shows, counts and logs
// what arrives through the output panel. The window and the command line both run it,
// so their rows and log bytes are the same.
class CardSession {
 public:
  // exchange and totalBytes are the owner's fields that a Reset and an Execute fill.
  CardSession(CCardPort& port, Clock& clock, OutputPanel& output, ExchangeState& exchange,
              std::uint32_t& totalBytes);

  // Reopens the port named by the Execute settings, shows "Reset...", pulses the reset
  // line with the Reset settings, reads up to 64 ATR bytes, counts, shows and logs
  // them, and puts the port back into the Execute settings. The caller has emptied the
  // output list and opened the log.
  void Reset(const char* executeSettings, const char* resetSettings);
  // Runs one command and shows, counts and logs what came back: the failure row, the
  // hex rows, the status row. Returns the exchange's result, 1 or 0.
  int Execute(const CardCommand& command);

  const ExchangeTiming& lastTiming() const { return timing_; }

 private:
  void StartTiming();
  void StopTiming();
  // The record of the Execute that just ran, for explaining its rows later.
  ExchangeRecord RecordOf(const CardCommand& command) const;

  CCardPort& port_;
  Clock& clock_;
  OutputPanel& output_;
  ExchangeState& exchange_;
  std::uint32_t& total_bytes_;
  ExchangeTiming timing_;
  std::chrono::nanoseconds started_at_{0};
};

}  // namespace quorvel
