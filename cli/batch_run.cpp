#include "cli/batch_run.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "app/fixed_text.h"
#include "card/automatic_response.h"
#include "card/card_session.h"
#include "card/list_run.h"
#include "card/output_display.h"
#include "card/output_panel.h"
#include "card/reader_channel.h"
#include "cli/command_file.h"
#include "cli/printable_text.h"
#include "cli/run_report.h"
#include "cli/run_traces.h"
#include "commands/command_text.h"
#include "controls/windowless_controls.h"
#include "files/path_name.h"
#include "files/same_file.h"
#include "files/writable_file.h"
#include "port/port_names.h"

namespace quorvel {
namespace {

// The run's log, as judged before anything runs.
struct RunLog {
  std::string name;       // empty: no log
  bool fromFile = false;  // named by the command file, not by --log
};

std::string Quoted(const std::string& name) {
  // Appended piece by piece: GCC 12 at -O3 warns of an overlap in "\"" + std::string&&.
  std::string quoted(1, '"');
  quoted += Printable(name);
  quoted += '"';
  return quoted;
}

std::string CouldNotWrite(const RunLog& log, const std::string& reason) {
  std::string text = "Could not write the log file " + Quoted(log.name) + ": " + reason + ".";
  if (log.fromFile) text += "\nThe run goes on without a log; --log names another place.";
  return text;
}

// Decides where the log goes and whether it can be written there. --log names the user's
// own choice, like Browse. A name from the file is trusted as little as in the window:
// never through a symbolic link, and kept in the working folder, which is the window's
// default answer when it asks; one that cannot be written is warned of, and the run goes
// on without a log, as the window's would. Nothing when the run must not start.
std::optional<RunLog> JudgeRunLog(const CommandLine& line, const std::string& fromFile,
                                  MessageSink& messages) {
  RunLog log;
  if (!line.log) return log;
  log.fromFile = !line.logFile;
  log.name = line.logFile.value_or(fromFile);
  if (log.fromFile && LeavesWorkingFolder(log.name)) {
    const std::string inside = LastComponent(log.name, kDefaultLogFileName);
    messages.ShowMessage("The loaded command list writes its log outside the working folder:\n\n" +
                         Printable(FullPath(log.name)) + "\n\nThe log goes to " +
                         Printable(inside) + " in the working folder; --log names another place.");
    log.name = inside;
  }
  if (IsSameFile(log.name, *line.file)) {
    messages.ShowMessage("The log file " + Quoted(log.name) + " is the command file " +
                         Quoted(*line.file) +
                         " itself: the log would overwrite it. Name another log with --log, "
                         "or write none with --no-log.");
    return std::nullopt;
  }
  const std::string reason =
      WhyNotWritable(log.name, log.fromFile ? LinksAtName::kRefuse : LinksAtName::kFollow);
  if (reason.empty()) return log;
  messages.ShowMessage(CouldNotWrite(log, reason));
  if (!log.fromFile) return std::nullopt;
  return RunLog{};
}

// Holds the log in memory until the first Reset has reached the card, so that a run that
// cannot start leaves an old log as it was.
void HoldRunLog(const RunLog& log, OutputPanel& output) {
  if (log.name.empty()) return;
  output.OpenLogFile(log.name,
                     log.fromFile ? OutputPanel::Links::kRefuse : OutputPanel::Links::kFollow,
                     OutputPanel::LogStart::kHeld);
}

// Creates the held log anew with what it holds; false when the run must not go on.
bool CommitRunLog(const RunLog& log, OutputPanel& output, MessageSink& messages) {
  if (log.name.empty() || output.CommitLogFile()) return true;
  messages.ShowMessage(CouldNotWrite(log, std::strerror(errno)));
  return log.fromFile;
}

// Opens the reader as the run will use it, settings applied, before the log is touched: a
// port that cannot be opened (missing, held by another program) or a settings string it
// refuses ends the run with an old log as it was. The Reset opens it again.
bool OpenReader(CardChannel& reader, const CommandLine& line, const char* executeSettings,
                const char* resetSettings) {
  reader.Open(executeSettings);
  if (line.reset) reader.ApplySettings(resetSettings);
  reader.ApplySettings(executeSettings);
  return reader.IsOpen();
}

// Shows a session's steps in the output panel, as the window does, and keeps what each
// exchange of the command running was, for the report.
class ReportingDisplay final : public SessionDisplay {
 public:
  ReportingDisplay(OutputPanel& output, std::uint32_t& totalBytes, const RowList& rows)
      : shown_(output, totalBytes), rows_(rows) {}

  void ResetBegun(ExchangeRecord record) override {
    reset_rows_.push_back(rows_.GetCount());
    shown_.ResetBegun(std::move(record));
  }
  void ResetAnswered(const ResetAnswer& answer) override { shown_.ResetAnswered(answer); }
  void SpeedSettled(const SpeedAnswer& answer) override { shown_.SpeedSettled(answer); }
  void CommandAnswered(CommandAnswer answer) override {
    ReportedExchange reported;
    if (const AutomaticCause* cause = answer.record.automatic.get()) {
      reported.automatic = cause->kind;
      reported.lastAllowed = cause->lastAllowed;
    }
    reported.comment = answer.record.comment;
    std::copy(std::begin(answer.record.header), std::end(answer.record.header), reported.header);
    reported.received = answer.received;
    reported.response = answer.response;
    reported.blocks = answer.record.blocks;
    reported.result = answer.result;
    reported.statusWord[0] = answer.statusWord[0];
    reported.statusWord[1] = answer.statusWord[1];
    reported.statusArrived = answer.statusArrived;
    reported.took = answer.record.took;
    shown_.CommandAnswered(std::move(answer));
    reported.rowsEnd = rows_.GetCount();
    exchanges_.push_back(std::move(reported));
  }

  // The exchanges shown since the last call.
  std::vector<ReportedExchange> TakeExchanges() { return std::exchange(exchanges_, {}); }
  // Where the rows of each reset pulse shown since the last call begin.
  std::vector<int> TakeResetRows() { return std::exchange(reset_rows_, {}); }

 private:
  OutputPanelDisplay shown_;
  const RowList& rows_;
  std::vector<ReportedExchange> exchanges_;
  std::vector<int> reset_rows_;
};

// "Command 7 (read EF)", or by its header when it has no comment.
std::string CommandName(int index, const CardCommand& command) {
  const std::string comment = TextOf(command.comment);
  return "Command " + std::to_string(index) + " (" +
         (comment.empty() ? FormatHeaderText(command) : Printable(comment)) + ")";
}

}  // namespace

std::string BatchSettings(const std::string& fromFile, const CommandLine& line) {
  std::string settings = line.settings.value_or(fromFile);
  if (line.port)
    settings = *line.port + settings.substr(std::min(kPortNameLength, settings.size()));
  return settings;
}

int RunBatch(const CommandLine& line, const BatchServices& services) {
  const auto script = ReadCommandFile(*line.file, services.messages);
  if (!script) return kExitNothingRan;
  const SccSettings& stored = script->settings;
  const auto log = JudgeRunLog(line, TextOf(stored.logFileName), services.messages);
  if (!log) return kExitNothingRan;
  RunTraces traces(line);
  if (!traces.Prepare(log->name, services.messages)) return kExitNothingRan;

  // The fields the window would hold: a string too long for them is cut as it would be.
  char executeSettings[sizeof stored.executeSettings];
  char resetSettings[sizeof stored.resetSettings];
  CopyText(executeSettings, BatchSettings(TextOf(stored.executeSettings), line));
  CopyText(resetSettings, BatchSettings(TextOf(stored.resetSettings), line));

  RowList rows;
  TextEditBox counter;
  ValueCheckBox bin(stored.bin != 0 ? 1 : 0);
  OutputPanel output(rows, counter, bin);
  ReaderSetup setup;
  setup.audience = MessageAudience::kCommandLine;
  setup.timing = line.strictTiming ? PortTiming::kFixed : PortTiming::kDeadline;
  ReaderChannel reader(services.devices, services.clock, services.messages, setup);
  reader.SetInverse(stored.inverse);
  ExchangeState exchange;
  std::uint32_t totalBytes = 0;
  ReportingDisplay display(output, totalBytes, rows);
  TracingDisplay traced(display);
  CardSession session(reader, services.clock, traced, exchange);
  session.SetAutomaticResponses(line.automaticResponses);
  session.SetSpeedNegotiation(line.speedNegotiation);
  session.SetFullT0(line.fullT0);
  session.SetReaderClock(services.readerClockHz);
  RunReport report(services.out, line.format, line.explain, rows, output);

  if (!OpenReader(reader, line, executeSettings, resetSettings)) return kExitNothingRan;
  if (!traces.Start(traced, services.messages)) return kExitNothingRan;
  HoldRunLog(*log, output);
  bool logLost = false;
  const auto checkLog = [&] {
    traces.CheckWrites(services.messages);
    if (logLost || output.log().writeError() == 0) return;
    logLost = true;
    services.messages.ShowMessage("Could not write the log file " + Quoted(log->name) + ": " +
                                  std::strerror(output.log().writeError()) +
                                  ".\nThe run goes on; the log is incomplete.");
  };
  const auto reported = [&] {
    if (line.speedNegotiation) services.messages.ShowMessage(session.lastSpeed().note);
    report.Reset(session.lastRounds(), display.TakeResetRows(), line.speedNegotiation,
                 session.inUse());
    checkLog();
  };
  if (line.reset) {
    session.Reset(executeSettings, resetSettings);
    // A reader gone during the first Reset: nothing ran, nothing is printed or logged.
    if (!reader.IsOpen()) return kExitNothingRan;  // the reader has said why
  }
  if (!CommitRunLog(*log, output, services.messages)) return kExitNothingRan;
  if (line.reset) reported();

  std::vector<ListRunItem> items;
  std::vector<const ScriptStep*> steps;
  for (const ScriptStep& step : script->steps) {
    ListRunItem item;
    if (!step.IsReset()) {
      item.command = *step.command;
      item.expect = step.expect;
      item.le = step.le;
    }
    items.push_back(std::move(item));
    steps.push_back(&step);
  }
  ListRunOptions options;
  options.stops.atFailure = false;  // every command runs; a failure decides the status
  options.stops.atUnmet = !line.keepGoing;
  options.executeSettings = executeSettings;
  options.resetSettings = resetSettings;

  int status = kExitCompleted;
  int index = 0;
  ListRunHooks hooks;
  hooks.finished = [&](std::size_t i, const ExecuteOutcome* outcome) {
    if (outcome == nullptr) {
      reported();
      return;
    }
    const ScriptStep& step = *steps[i];
    const std::string name = CommandName(++index, *step.command);
    const std::vector<ReportedExchange> exchanges = display.TakeExchanges();
    report.Command(index, exchanges, step.expect, *outcome);
    checkLog();
    if (!outcome->succeeded()) status = kExitCommandFailed;
    if (outcome->bound) {
      services.messages.ShowMessage(name + ": the card still asks for more after " +
                                    std::to_string(kMaxAutomaticCommands) +
                                    " commands sent automatically; no more are sent.");
    }
    if (!outcome->met) services.messages.ShowMessage(name + ": " + outcome->report);
  };
  const std::atomic<bool> never{false};
  const ListRunSummary summary =
      RunCommandList(session, services.clock, items, options, never, hooks);
  // A reader gone mid-run: it has said so once, and what ran decides nothing more.
  if (summary.end == ListRunSummary::End::kPortGone) status = kExitCommandFailed;
  const bool tracedWhole = traces.CheckWrites(services.messages);
  return logLost || !tracedWhole || services.out.failed() ? kExitOutputLost : status;
}

}  // namespace quorvel
