#include "explore/card_explorer.h"

#include <memory>
#include <span>

#include "explore/session_card_access.h"
#include "files/file_replace.h"
#include "sim/file_walker.h"

namespace quorvel {
namespace {

// What stands in place of a walk when the card was never reached.
std::string Unreached(CardSession& session) {
  if (!session.channel().IsOpen()) return "The reader could not be opened: nothing was walked.";
  if (session.lastAtr().empty())
    return "The card did not answer the Reset: is it in the reader? Nothing was walked.";
  return std::string();
}

}  // namespace

CardExplorer::CardExplorer(const ExplorerServices& services, ExplorerView& view)
    : services_(services), view_(view) {}

std::vector<std::string> CardExplorer::StatusLines() const {
  std::vector<std::string> lines;
  if (!doing_.empty()) lines.push_back(doing_);
  if (!walk_.files.empty() || !walk_.outcome.empty()) {
    for (std::string& line : ExplorerSummary(walk_)) lines.push_back(std::move(line));
  }
  if (!pin_.empty()) lines.push_back(pin_);
  return lines;
}

void CardExplorer::Start(bool reset, std::function<void(CardSession&, CardLine&, Outcome&)> work,
                         std::string doing) {
  if (running_) return;
  // Written on the line, read on the window's thread once the work has ended.
  auto outcome = std::make_shared<Outcome>();
  const bool started = services_.main.StartCardWork(
      reset,
      [outcome, work = std::move(work)](CardSession& session, CardLine& line) {
        work(session, line, *outcome);
      },
      [this, outcome] { Ended(*outcome); });
  if (!started) {
    doing_ = "The card is busy with a Reset or a command: try again once it has ended.";
  } else if (services_.main.ExchangeRunning()) {  // else it has ended already
    running_ = true;
    doing_ = std::move(doing);
  }
  view_.ExplorerChanged();
}

void CardExplorer::Ended(Outcome& outcome) {
  running_ = false;
  doing_ = std::move(outcome.why);
  if (outcome.walk) {
    walk_ = std::move(*outcome.walk);
    ++walk_number_;
    pin_.clear();
  }
  if (outcome.verified) pin_ = outcome.verified->text;
  view_.ExplorerChanged();
  if (outcome.outlook) AskAndVerify(*outcome.outlook);
}

void CardExplorer::OnWalk() {
  Start(
      true,
      [](CardSession& session, CardLine& line, Outcome& outcome) {
        outcome.why = Unreached(session);
        if (!outcome.why.empty()) return;
        SessionCardAccess access(session, line.stopFlag());
        outcome.walk = WalkCard(access);
      },
      "Walking the card...");
}

void CardExplorer::OnStop() {
  if (running_) services_.main.OnStopRun();
}

void CardExplorer::OnVerifyPin1() {
  if (!canVerify()) return;
  Start(
      false,
      [walk = walk_](CardSession& session, CardLine& line, Outcome& outcome) {
        SessionCardAccess access(session, line.stopFlag());
        outcome.outlook = LookBeforePin1(access, walk);
      },
      "Asking the card how many tries PIN1 has left...");
}

void CardExplorer::AskAndVerify(const Pin1Outlook& outlook) {
  if (!outlook.ask) {
    services_.messages.ShowMessage(outlook.text);
    return;
  }
  std::optional<std::string> pin = services_.pins.AskPin(outlook.name, outlook.text);
  if (!pin) return;
  // One copy for the line, on the heap, so that moving the work about copies no digits;
  // wiped once sent, and in any case when the last owner lets it go.
  const std::shared_ptr<std::string> secret(new std::string(*pin), [](std::string* digits) {
    WipeSecret(*digits);
    delete digits;
  });
  WipeSecret(*pin);
  Start(
      false,
      [secret, kind = outlook.kind](CardSession& session, CardLine& line, Outcome& outcome) {
        SessionCardAccess access(session, line.stopFlag());
        outcome.verified = VerifyPin1(access, kind, *secret);
        WipeSecret(*secret);
        if (outcome.verified->verified) outcome.walk = WalkCard(access);
      },
      "Verifying " + outlook.name + ", then walking the card again...");
}

void CardExplorer::OnExportJson() {
  if (!canExport()) return;
  FileChooser::Request request;
  request.mode = FileChooser::Mode::kSave;
  request.filter = kJsonLinesFilter;
  request.defaultExtension = "jsonl";
  request.initialName = "card.jsonl";
  const auto chosen = services_.files.Choose(request);
  if (!chosen) return;
  const std::string text = WalkJsonLines(walk_);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const ReplaceResult result = WriteFileReplacing(*chosen, std::span(bytes, text.size()));
  if (result == ReplaceResult::kReadOnly) {
    services_.messages.ShowMessage("Could not export: the file is read-only.\n\n" + *chosen);
  } else if (result == ReplaceResult::kFailed) {
    services_.messages.ShowMessage("Could not export the walk to\n\n" + *chosen);
  }
}

}  // namespace quorvel
