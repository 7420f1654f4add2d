#pragma once

#include <string>

#include "card/card_session.h"
#include "card/command_exchange.h"
#include "card/output_panel.h"
#include "cli/command_line.h"
#include "cli/stream_message_sink.h"
#include "commands/card_command.h"
#include "controls/windowless_controls.h"

namespace quorvel {

// What a batch run prints on standard output after the Reset and after each command:
// the rows the output list gained, one a line, or one JSON object a line. With
// explanations each row is followed by what the output panel says of it, every line
// starting with "  # " (in JSON: a "rows" list of texts and explanations), worded for the
// command line. Each report goes out at once, so a long list can be watched as it runs.
class RunReport {
 public:
  RunReport(CheckedOutput& out, RowFormat format, bool explain, const RowList& rows,
            const OutputPanel& panel);

  // {"reset": true, "atr": "3B ...", "ms": ...}
  void Reset(const ExchangeState& exchange, const ExchangeTiming& timing);
  // {"index", "comment", "header", "received", "sw", "completed", "ms"}
  void Command(int index, const CardCommand& command, const ExchangeState& exchange, int result,
               const ExchangeTiming& timing);

 private:
  // The rows added since the last report, one a line.
  std::string NewRows();
  // The same rows, with their explanations, as the JSON member "rows"; empty without
  // explanations.
  std::string NewRowsAsJson();

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
