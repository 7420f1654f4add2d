#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "card/card_session.h"
#include "card/command_exchange.h"
#include "card/output_panel.h"
#include "card/reader_channel.h"
#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "cli/reporting_display.h"
#include "cli/run_traces.h"
#include "commands/scc_file.h"
#include "controls/windowless_controls.h"
#include "trace/tracing_display.h"

namespace quorvel {

// The card as a command-line run holds it, from the reader to the log: the reader with the
// run's timing, the output panel over windowless rows (the rows, the counter and the log come
// from the same code as in the window), the session showing through a ReportingDisplay and a
// TracingDisplay with the run's traces attached, and the log held until the card has been
// reached. --run and --explore both start on the card through it.
class CardRun {
 public:
  // The settings of the command list (or of a new one): Bin, Inv, the log file's name and the
  // settings strings, which --settings and --port change (BatchSettings) and which are cut to
  // fit the window's fields as they would be there.
  CardRun(const CommandLine& line, const BatchServices& services, const SccSettings& settings);
  CardRun(const CardRun&) = delete;
  CardRun& operator=(const CardRun&) = delete;

  // Before the port is touched: where the log goes (--log, else the list's log file, trusted as
  // little as a name from a file) and whether it can be written, never over the command file;
  // the traces' file and host. False after a message: the run must not start.
  bool Prepare();
  // Opens the port with both settings strings applied, starts the traces, holds the log,
  // resets the card (unless --no-reset) and only then creates the log. False after a message
  // when the card was never reached: standard output stays empty and an old log as it was.
  bool Start();
  // After each Reset: on standard error, what became of the protocol and the speed, with --pps
  // or when the card was left with no protocol to speak (then no command goes to it).
  void TellProtocol();
  // After each step: the first failed write of the log and of each trace, told once.
  void CheckWrites();
  // `status`, or 3 when standard output, the log or a trace could not all be written.
  int Finish(int status);

  CardSession& session() { return session_; }
  ReportingDisplay& display() { return display_; }
  const RowList& rows() const { return rows_; }
  const OutputPanel& output() const { return output_; }
  // The log as judged: its name, empty when there is none.
  const std::string& logName() const { return log_name_; }
  const char* executeSettings() const { return execute_settings_; }
  const char* resetSettings() const { return reset_settings_; }

 private:
  const CommandLine& line_;
  const BatchServices& services_;
  char execute_settings_[sizeof SccSettings::executeSettings];
  char reset_settings_[sizeof SccSettings::resetSettings];
  std::string log_from_list_name_;
  RowList rows_;
  TextEditBox counter_;
  ValueCheckBox bin_;
  OutputPanel output_;
  ReaderChannel reader_;
  ExchangeState exchange_;
  std::uint32_t total_bytes_ = 0;
  ReportingDisplay display_;
  // The seam for traces: every step passes here on its way to the display.
  TracingDisplay traced_;
  CardSession session_;
  RunTraces traces_;
  std::string log_name_;
  bool log_from_list_ = false;
  bool log_lost_ = false;
};

}  // namespace quorvel
