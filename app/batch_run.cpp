#include "app/batch_run.h"

#include "app/fixed_text.h"
#include "app/main_dialog.h"
#include "app/run_report.h"
#include "app/scc_input.h"
#include "card/card_session.h"
#include "card/output_panel.h"
#include "controls/windowless_controls.h"
#include "files/path_name.h"
#include "port/card_port.h"
#include "port/port_names.h"

namespace quorvel {
namespace {

// Opens the run's log. --log names the user's own choice, like Browse. A name from the
// file is trusted as little as in the window: never created through a symbolic link,
// and kept in the working folder, which is the window's default answer when it asks.
void OpenRunLog(const CommandLine& line, const std::string& fromFile, OutputPanel& output,
                MessageSink& messages) {
  if (!line.log) return;
  if (line.logFile) {
    output.OpenLogFile(*line.logFile);
    return;
  }
  std::string name = fromFile;
  if (LeavesWorkingFolder(name)) {
    const std::string inside = LastComponent(name, kDefaultLogFileName);
    messages.ShowMessage("The loaded command list writes its log outside the working folder:\n\n" +
                         FullPath(name) + "\n\nThe log goes to " + inside +
                         " in the working folder; --log names another place.");
    name = inside;
  }
  output.OpenLogFile(name, OutputPanel::Links::kRefuse);
}

}  // namespace

std::string BatchSettings(const std::string& fromFile, const CommandLine& line) {
  std::string settings = line.settings.value_or(fromFile);
  if (line.port)
    settings = *line.port + settings.substr(std::min(kPortNameLength, settings.size()));
  return settings;
}

int RunBatch(const CommandLine& line, const BatchServices& services) {
  const auto file = ReadSccFile(*line.file, services.messages);
  if (!file) return kExitNothingRan;
  const SccSettings& stored = file->settings;

  // The fields the window would hold: a string too long for them is cut as it would be.
  char executeSettings[sizeof stored.executeSettings];
  char resetSettings[sizeof stored.resetSettings];
  CopyText(executeSettings, BatchSettings(TextOf(stored.executeSettings), line));
  CopyText(resetSettings, BatchSettings(TextOf(stored.resetSettings), line));

  RowList rows;
  TextEditBox counter;
  ValueCheckBox bin(stored.bin != 0 ? 1 : 0);
  OutputPanel output(rows, counter, bin);
  CCardPort port(services.devices, services.clock, services.messages);
  port.SetTiming(line.strictTiming ? PortTiming::kFixed : PortTiming::kDeadline);
  port.SetInverse(stored.inverse);
  ExchangeState exchange;
  std::uint32_t totalBytes = 0;
  CardSession session(port, services.clock, output, exchange, totalBytes);
  RunReport report(services.out, line.format, line.explain, rows, output);

  OpenRunLog(line, TextOf(stored.logFileName), output, services.messages);
  if (line.reset) {
    session.Reset(executeSettings, resetSettings);
  } else {
    // As the window's start-up leaves the port: open, with the Execute settings.
    port.Open(executeSettings);
    port.ApplySettings(executeSettings);
  }
  if (!port.IsOpen()) return kExitNothingRan;  // the port has said why
  if (line.reset) report.Reset(exchange, session.lastTiming());

  int status = kExitCompleted;
  int index = 0;
  for (const auto& command : file->records) {
    const int result = session.Execute(*command);
    if (result != 1) status = kExitCommandFailed;
    report.Command(++index, *command, exchange, result, session.lastTiming());
  }
  return status;
}

}  // namespace quorvel
