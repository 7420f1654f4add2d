#include "cli/batch_run.h"

#include <algorithm>

#include "app/fixed_text.h"
#include "card/automatic_response.h"
#include "card/list_run.h"
#include "cli/card_run.h"
#include "cli/command_file.h"
#include "cli/printable_text.h"
#include "cli/run_report.h"
#include "commands/command_text.h"
#include "port/port_names.h"

namespace quorvel {
namespace {

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
  CardRun card(line, services, stored);
  if (!card.Prepare()) return kExitNothingRan;

  CardSession& session = card.session();
  ReportingDisplay& display = card.display();
  RunReport report(services.out, line.format, line.explain, card.rows(), card.output());
  if (!card.Start()) return kExitNothingRan;
  const auto reported = [&] {
    card.TellProtocol();
    report.Reset(session.lastRounds(), display.TakeResetRows(), line.speedNegotiation,
                 session.inUse());
    card.CheckWrites();
  };
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
  options.executeSettings = card.executeSettings();
  options.resetSettings = card.resetSettings();

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
    card.CheckWrites();
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
  return card.Finish(status);
}

}  // namespace quorvel
