#include "card/list_run.h"

#include <cstdio>

namespace quorvel {
namespace {

std::string Seconds(std::chrono::nanoseconds took, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, std::chrono::duration<double>(took).count());
  return text;
}

std::string Commands(int count) {
  return std::to_string(count) + (count == 1 ? " command" : " commands");
}

}  // namespace

ListRunSummary RunCommandList(CardSession& session, const CCardPort& port, Clock& clock,
                              const std::vector<ListRunItem>& items, const ListRunOptions& options,
                              const std::atomic<bool>& stop,
                              const std::function<void(std::size_t index)>& starting) {
  ListRunSummary summary;
  summary.count = static_cast<int>(items.size());
  const auto began = clock.Now();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (stop.load()) {
      summary.end = ListRunSummary::End::kStopped;
      break;
    }
    starting(i);
    const int result = session.Execute(items[i].command);
    ++summary.ran;
    if (result == 1) ++summary.completed;
    if (!port.IsOpen()) {
      // Nothing more goes out on a line that is gone; the port has said why, once.
      summary.end = ListRunSummary::End::kPortGone;
      break;
    }
    if (result != 1 && options.stopAtFailure) {
      summary.end = ListRunSummary::End::kFailed;
      break;
    }
  }
  summary.took = clock.Now() - began;
  return summary;
}

std::string ListRunProgressText(int number, int count, std::chrono::nanoseconds elapsed) {
  return "Command " + std::to_string(number) + " of " + std::to_string(count) + ", " +
         Seconds(elapsed, "%.1f s");
}

std::string ListRunSummaryText(const ListRunSummary& summary) {
  std::string text;
  const std::string at = std::to_string(summary.ran) + " of " + std::to_string(summary.count);
  switch (summary.end) {
    case ListRunSummary::End::kAllRan:
      break;
    case ListRunSummary::End::kFailed:
      text = "Stopped at command " + at + ", which failed. ";
      break;
    case ListRunSummary::End::kStopped:
      text = "Stopped after command " + at + ". ";
      break;
    case ListRunSummary::End::kPortGone:
      text = "Stopped at command " + at + ": the port is closed. ";
      break;
  }
  text += Commands(summary.ran) + ": " + std::to_string(summary.completed) + " completed, " +
          std::to_string(summary.ran - summary.completed) + " failed, " +
          Seconds(summary.took, "%.2f s");
  return text;
}

}  // namespace quorvel
