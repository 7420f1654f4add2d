#include "cli/card_run.h"

#include <cerrno>
#include <cstring>

#include "app/fixed_text.h"
#include "cli/batch_run.h"
#include "cli/printable_text.h"
#include "commands/command_script.h"
#include "files/path_name.h"
#include "files/same_file.h"
#include "files/writable_file.h"

namespace quorvel {
namespace {

std::string Quoted(const std::string& name) {
  // Appended piece by piece: GCC 12 at -O3 warns of an overlap in "\"" + std::string&&.
  std::string quoted(1, '"');
  quoted += Printable(name);
  quoted += '"';
  return quoted;
}

std::string CouldNotWrite(const std::string& name, bool fromList, const std::string& reason) {
  std::string text = "Could not write the log file " + Quoted(name) + ": " + reason + ".";
  if (fromList) text += "\nThe run goes on without a log; --log names another place.";
  return text;
}

ReaderSetup SetupOf(const CommandLine& line) {
  ReaderSetup setup;
  setup.audience = MessageAudience::kCommandLine;
  setup.timing = line.strictTiming ? PortTiming::kFixed : PortTiming::kDeadline;
  return setup;
}

}  // namespace

CardRun::CardRun(const CommandLine& line, const BatchServices& services,
                 const SccSettings& settings)
    : line_(line),
      services_(services),
      log_from_list_name_(TextOf(settings.logFileName)),
      bin_(settings.bin != 0 ? 1 : 0),
      output_(rows_, counter_, bin_),
      reader_(services.devices, services.clock, services.messages, SetupOf(line)),
      display_(output_, total_bytes_, rows_),
      traced_(display_),
      session_(reader_, services.clock, traced_, exchange_),
      traces_(line) {
  CopyText(execute_settings_, BatchSettings(TextOf(settings.executeSettings), line));
  CopyText(reset_settings_, BatchSettings(TextOf(settings.resetSettings), line));
  reader_.SetInverse(settings.inverse);
  session_.SetAutomaticResponses(line.automaticResponses);
  session_.SetSpeedNegotiation(line.speedNegotiation);
  session_.SetFullT0(line.fullT0);
  session_.SetReaderClock(services.readerClockHz);
}

// --log names the user's own choice, like Browse. A name from the list is trusted as little
// as in the window: never through a symbolic link, and kept in the working folder, which is
// the window's default answer when it asks; one that cannot be written is warned of, and the
// run goes on without a log, as the window's would.
bool CardRun::Prepare() {
  const std::string& logFromList = log_from_list_name_;
  MessageSink& messages = services_.messages;
  if (line_.log) {
    log_from_list_ = !line_.logFile;
    log_name_ = line_.logFile.value_or(logFromList);
    if (log_from_list_ && LeavesWorkingFolder(log_name_)) {
      const std::string inside = LastComponent(log_name_, kDefaultLogFileName);
      messages.ShowMessage(
          "The loaded command list writes its log outside the working folder:\n\n" +
          Printable(FullPath(log_name_)) + "\n\nThe log goes to " + Printable(inside) +
          " in the working folder; --log names another place.");
      log_name_ = inside;
    }
    if (line_.file && IsSameFile(log_name_, *line_.file)) {
      messages.ShowMessage("The log file " + Quoted(log_name_) + " is the command file " +
                           Quoted(*line_.file) +
                           " itself: the log would overwrite it. Name another log with --log, "
                           "or write none with --no-log.");
      return false;
    }
    const std::string reason =
        WhyNotWritable(log_name_, log_from_list_ ? LinksAtName::kRefuse : LinksAtName::kFollow);
    if (!reason.empty()) {
      messages.ShowMessage(CouldNotWrite(log_name_, log_from_list_, reason));
      if (!log_from_list_) return false;
      log_name_.clear();
    }
  }
  return traces_.Prepare(log_name_, messages);
}

bool CardRun::Start() {
  MessageSink& messages = services_.messages;
  const char* const executeSettings = execute_settings_;
  const char* const resetSettings = reset_settings_;
  // The port as the run will use it, settings applied, before the log is touched: a port that
  // cannot be opened (missing, held by another program) or a settings string it refuses ends
  // the run with an old log as it was. The Reset opens it again.
  reader_.Open(executeSettings);
  if (line_.reset) reader_.ApplySettings(resetSettings);
  reader_.ApplySettings(executeSettings);
  if (!reader_.IsOpen()) return false;
  if (!traces_.Start(traced_, messages)) return false;
  // Held in memory until the first Reset has reached the card.
  if (!log_name_.empty()) {
    output_.OpenLogFile(log_name_,
                        log_from_list_ ? OutputPanel::Links::kRefuse : OutputPanel::Links::kFollow,
                        OutputPanel::LogStart::kHeld);
  }
  if (line_.reset) {
    session_.Reset(executeSettings, resetSettings);
    // A reader gone during the first Reset: nothing ran, nothing is printed or logged.
    if (!reader_.IsOpen()) return false;  // the reader has said why
  }
  if (log_name_.empty() || output_.CommitLogFile()) return true;
  messages.ShowMessage(CouldNotWrite(log_name_, log_from_list_, std::strerror(errno)));
  return log_from_list_;
}

void CardRun::TellProtocol() {
  const std::string& note = session_.lastSpeed().note;
  if (!note.empty() && (line_.speedNegotiation || !session_.inUse().protocol)) {
    services_.messages.ShowMessage(note);
  }
}

void CardRun::CheckWrites() {
  traces_.CheckWrites(services_.messages);
  if (log_lost_ || output_.log().writeError() == 0) return;
  log_lost_ = true;
  services_.messages.ShowMessage("Could not write the log file " + Quoted(log_name_) + ": " +
                                 std::strerror(output_.log().writeError()) +
                                 ".\nThe run goes on; the log is incomplete.");
}

int CardRun::Finish(int status) {
  const bool tracedWhole = traces_.CheckWrites(services_.messages);
  return log_lost_ || !tracedWhole || services_.out.failed() ? kExitOutputLost : status;
}

}  // namespace quorvel
