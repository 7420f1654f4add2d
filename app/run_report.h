#pragma once

#include <ostream>

#include "app/command_line.h"
#include "card/card_session.h"
#include "card/command_exchange.h"
#include "commands/card_command.h"
#include "controls/windowless_controls.h"

namespace quorvel {

// What a batch run prints on standard output after the Reset and after each command:
// the rows the output list gained, one a line, or one JSON object a line. Each report is
// flushed at once, so a long list can be watched as it runs.
class RunReport {
 public:
  RunReport(std::ostream& out, RowFormat format, const RowList& rows);

  // {"reset": true, "atr": "3B ...", "ms": ...}
  void Reset(const ExchangeState& exchange, const ExchangeTiming& timing);
  // {"index", "comment", "header", "received", "sw", "completed", "ms"}
  void Command(int index, const CardCommand& command, const ExchangeState& exchange, int result,
               const ExchangeTiming& timing);

 private:
  // The rows added since the last report.
  void PrintNewRows();

  std::ostream& out_;
  RowFormat format_;
  const RowList& rows_;
  int printed_ = 0;
};

}  // namespace quorvel
