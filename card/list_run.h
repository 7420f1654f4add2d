#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "card/card_session.h"
#include "commands/card_command.h"
#include "port/clock.h"

namespace quorvel {

// One step of a list run and the entry that shows it in the command list: a command with
// what it must answer, or a Reset.
struct ListRunItem {
  int entry = 0;
  std::optional<CardCommand> command;  // none: a Reset
  Expectation expect;
  std::optional<std::uint16_t> le;  // a case 4 command's Le
};

// How a run of the command list ended.
struct ListRunSummary {
  enum class End {
    kAllRan,    // every command ran
    kFailed,    // it stopped at a command that failed
    kUnmet,     // it stopped at a command whose answer was not as expected
    kStopped,   // the user stopped it
    kPortGone,  // the port closed under it (a reader unplugged)
  };
  End end = End::kAllRan;
  int count = 0;  // commands of the run (its Resets are not counted)
  int ran = 0;    // of them, those that ran
  // Of those, commands whose last exchange reached its status word, or met what the command
  // expects (a refusal included), and whose card did not go on asking for more.
  int completed = 0;
  int expecting = 0;  // of those that ran, commands that said what they must answer
  int unmet = 0;      // and whose answer did not meet it
  std::chrono::nanoseconds took{0};
};

// Where a run stops early; a stop request and a reader gone always stop it.
struct ListRunStops {
  bool atFailure = true;  // a command that did not complete (see ListRunSummary::completed)
  bool atUnmet = true;    // a command whose answer is not as expected
};

struct ListRunOptions {
  ListRunStops stops;
  // For the run's Resets: a Reset resets the card where it stands in the list, its rows after
  // those before it.
  std::string executeSettings;
  std::string resetSettings;
};

// Told of each item of a run as it goes: its index before it runs, and after it ran how it
// went (no outcome for a Reset).
struct ListRunHooks {
  std::function<void(std::size_t index)> starting;
  std::function<void(std::size_t index, const ExecuteOutcome* outcome)> finished;
};

// Runs the items in order, each command exactly as Execute runs it, each Reset as the
// session's Reset, for the window and the command line alike. A stop request ends the run
// after the command in progress (between automatic commands when the session has the flag
// too); a reader that goes away ends it at once.
ListRunSummary RunCommandList(CardSession& session, Clock& clock,
                              const std::vector<ListRunItem>& items, const ListRunOptions& options,
                              const std::atomic<bool>& stop, const ListRunHooks& hooks);

// "Command 12 of 40, 3.2 s" while it runs; "Reset, 0.3 s" in a run of Resets only.
std::string ListRunProgressText(int number, int count, std::chrono::nanoseconds elapsed);
// "40 commands: 38 completed, 2 failed, 4.21 s", with why it stopped early when it did.
std::string ListRunSummaryText(const ListRunSummary& summary);

}  // namespace quorvel
