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

ListRunSummary RunCommandList(CardSession& session, Clock& clock,
                              const std::vector<ListRunItem>& items, const ListRunOptions& options,
                              const std::atomic<bool>& stop, const ListRunHooks& hooks) {
  ListRunSummary summary;
  for (const ListRunItem& item : items) summary.count += item.command ? 1 : 0;
  const auto began = clock.Now();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (stop.load()) {
      summary.end = ListRunSummary::End::kStopped;
      break;
    }
    if (hooks.starting) hooks.starting(i);
    const ListRunItem& item = items[i];
    std::optional<ListRunSummary::End> stopsHere;
    if (item.command) {
      const ExecuteOutcome outcome = session.Execute(*item.command, item.expect, item.le);
      ++summary.ran;
      const bool completed =
          !outcome.bound && (outcome.result == 1 || (outcome.expected && outcome.met));
      if (completed) ++summary.completed;
      if (outcome.expected) ++summary.expecting;
      if (!outcome.met) ++summary.unmet;
      if (!completed && options.stops.atFailure) stopsHere = ListRunSummary::End::kFailed;
      if (!outcome.met && options.stops.atUnmet) stopsHere = ListRunSummary::End::kUnmet;
      if (outcome.stopped) stopsHere = ListRunSummary::End::kStopped;
      if (hooks.finished) hooks.finished(i, &outcome);
    } else {
      session.Reset(options.executeSettings.c_str(), options.resetSettings.c_str());
      if (hooks.finished) hooks.finished(i, nullptr);
    }
    if (!session.channel().IsOpen()) {
      // Nothing more goes out on a line that is gone; the reader has said why, once.
      summary.end = ListRunSummary::End::kPortGone;
      break;
    }
    if (stopsHere) {
      summary.end = *stopsHere;
      break;
    }
  }
  summary.took = clock.Now() - began;
  return summary;
}

std::string ListRunProgressText(int number, int count, std::chrono::nanoseconds elapsed) {
  if (count == 0) return "Reset, " + Seconds(elapsed, "%.1f s");
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
    case ListRunSummary::End::kUnmet:
      text = "Stopped at command " + at + ", whose answer was not as expected. ";
      break;
    case ListRunSummary::End::kStopped:
      text = "Stopped after command " + at + ". ";
      break;
    case ListRunSummary::End::kPortGone:
      text = "Stopped at command " + at + ": the port is closed. ";
      break;
  }
  text += Commands(summary.ran) + ": " + std::to_string(summary.completed) + " completed, " +
          std::to_string(summary.ran - summary.completed) + " failed, ";
  if (summary.expecting > 0) {
    text += std::to_string(summary.unmet) + (summary.unmet == 1 ? " answer" : " answers") +
            " not as expected, ";
  }
  text += Seconds(summary.took, "%.2f s");
  return text;
}

}  // namespace quorvel
