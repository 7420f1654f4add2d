#include "cli/explore_run.h"

#include <atomic>

#include "app/fixed_text.h"
#include "cli/card_run.h"
#include "commands/command_script.h"
#include "explore/pin1_outlook.h"
#include "explore/session_card_access.h"
#include "sim/file_walker.h"
#include "sim/pin_verification.h"
#include "sim/walk_report.h"

namespace quorvel {
namespace {

// Asks for PIN1 where the card can take one and sends it once; true when it was verified or
// there was nothing to verify.
bool VerifyBeforeTheWalk(CardAccess& card, PinQuestion& pins, MessageSink& messages) {
  const Pin1Outlook outlook = LookBeforePin1(card);
  if (!outlook.ask) {
    messages.ShowMessage(outlook.text);
    return outlook.kind != CardKind::kUnknown && outlook.triesLeft != 0;
  }
  std::optional<std::string> pin = pins.AskPin(outlook.name, outlook.text);
  if (!pin) {
    messages.ShowMessage("No " + outlook.name + " given: nothing was sent.");
    return false;
  }
  const PinVerification verified = VerifyPin1(card, outlook.kind, *pin);
  WipeSecret(*pin);
  messages.ShowMessage(verified.text);
  return verified.verified;
}

}  // namespace

int RunExplore(const CommandLine& line, const BatchServices& services, PinQuestion* pins) {
  const SccSettings defaults = DefaultSccSettings();
  CardRun card(line, services, defaults);
  if (!card.Prepare()) return kExitNothingRan;
  if (!card.Start()) return kExitNothingRan;
  card.TellProtocol();

  int status = kExitCompleted;
  const std::atomic<bool> never{false};
  CardWalk walk;
  {
    SessionCardAccess access(card.session(), never);
    if (line.verifyPin1 && pins && !VerifyBeforeTheWalk(access, *pins, services.messages))
      status = kExitCommandFailed;
    walk = WalkCard(access);
  }
  card.display().TakeExchanges();  // the log has them; the tree is the report
  card.CheckWrites();

  if (line.format == RowFormat::kJsonLines) {
    for (const WalkedFile& file : walk.files) services.out.Write(WalkedFileJson(file) + "\n");
    if (!walk.completed || !walk.reached) services.messages.ShowMessage(walk.outcome);
  } else {
    std::string tree;
    for (const std::string& text : WalkTreeLines(walk)) tree += text + "\n";
    services.out.Write(tree);
  }
  if (!walk.completed || !walk.reached) status = kExitCommandFailed;
  return card.Finish(status);
}

}  // namespace quorvel
