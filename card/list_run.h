#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "card/card_session.h"
#include "commands/card_command.h"
#include "port/clock.h"

namespace quorvel {

// One command of a list run and the entry that shows it in the command list.
struct ListRunItem {
  int entry = 0;
  CardCommand command;
};

// How a run of the command list ended.
struct ListRunSummary {
  enum class End {
    kAllRan,    // every command ran
    kFailed,    // it stopped at a command that failed
    kStopped,   // the user stopped it
    kPortGone,  // the port closed under it (a reader unplugged)
  };
  End end = End::kAllRan;
  int count = 0;      // commands of the run
  int ran = 0;        // of them, those that ran
  int completed = 0;  // of those, commands whose last exchange reached its status word
  std::chrono::nanoseconds took{0};
};

struct ListRunOptions {
  bool stopAtFailure = true;
};

// Runs the items in order, each exactly as Execute runs it. `starting` is told the index of
// each item before it runs. A stop request ends the run after the command in progress.
ListRunSummary RunCommandList(CardSession& session, const CCardPort& port, Clock& clock,
                              const std::vector<ListRunItem>& items, const ListRunOptions& options,
                              const std::atomic<bool>& stop,
                              const std::function<void(std::size_t index)>& starting);

// "Command 12 of 40, 3.2 s" while it runs.
std::string ListRunProgressText(int number, int count, std::chrono::nanoseconds elapsed);
// "40 commands: 38 completed, 2 failed, 4.21 s", with why it stopped early when it did.
std::string ListRunSummaryText(const ListRunSummary& summary);

}  // namespace quorvel
