#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "card/card_session.h"
#include "card/output_panel.h"
#include "card/speed_negotiation.h"
#include "cli/command_line.h"
#include "cli/stream_message_sink.h"
#include "commands/script_expectation.h"
#include "controls/windowless_controls.h"

namespace quorvel {

// One exchange as a run reports it: a command of the file, or one sent automatically after it.
struct ReportedExchange {
  std::optional<AutomaticCause::Kind> automatic;  // none for the file's own command
  bool lastAllowed = false;                       // the card asked for more, but no more were sent
  std::string comment;
  std::uint8_t header[5] = {0, 0, 0, 0, 0};
  std::vector<std::uint8_t> received;
  std::vector<std::uint8_t> response;     // the answer's data, without SW1 SW2
  std::vector<ExchangeBlock> blocks;      // T=1: every block sent and received
  std::string failure;                    // why it stopped before its status word
  std::uint32_t clearedBeforeHeader = 0;  // whole T=0: unasked bytes taken off the line
  int result = 0;
  std::uint8_t statusWord[2] = {0, 0};
  int statusArrived = 0;
  std::chrono::nanoseconds took{0};
  int rowsEnd = 0;  // the output list's row count once the exchange was shown
};

// What a batch run prints on standard output after each Reset and after each command of the
// file with the commands sent automatically after it: the rows the output list gained, one
// a line, or one JSON object for each Reset and each exchange. With explanations each row
// is followed by what the output panel says of it, every line starting with "  # " (in
// JSON: a "rows" list of texts and explanations), worded for the command line. Each report
// goes out at once, so a long list can be watched as it runs.
class RunReport {
 public:
  RunReport(CheckedOutput& out, RowFormat format, bool explain, const RowList& rows,
            const OutputPanel& panel);

  // For each reset pulse of a Reset: {"reset": true, "atr": "3B ...", "ms": ..., "protocol":
  // "T=0"}, with "reader" on a PC/SC reader, and with speed negotiation "pps" and "baud"
  // where that pulse was followed by one. `rowStarts` are the rows where each pulse's rows
  // begin.
  void Reset(const std::vector<ResetRound>& rounds, const std::vector<int>& rowStarts,
             bool speedNegotiation, const ChannelInUse& inUse);
  // {"index", "comment", "header", "received", "response", "sw", "completed", "ms"} and, for
  // a command that says what it must answer, "expect" and "met"; then for each automatic
  // command {"auto": "get-response" or "resend", "after": index, ...}; "bound": true on the
  // last one when the card still asked for more; "blocks" on T=1.
  void Command(int index, const std::vector<ReportedExchange>& exchanges, const Expectation& expect,
               const ExecuteOutcome& outcome);

 private:
  // The rows added since the last report up to `end`, one a line.
  std::string NewRows(int end);
  // The same rows, with their explanations, as the JSON member "rows"; empty without
  // explanations.
  std::string NewRowsAsJson(int end);

  CheckedOutput& out_;
  RowFormat format_;
  bool explain_;
  const RowList& rows_;
  const OutputPanel& panel_;
  int printed_ = 0;
};

// A row's explanation as the command line shows it: what the window's texts tell the
// user to click or tick is said as what to do there.
std::string ForTheCommandLine(std::string explanation);

}  // namespace quorvel
