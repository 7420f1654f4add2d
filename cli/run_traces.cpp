#include "cli/run_traces.h"

#include <cerrno>
#include <cstring>

#include "cli/printable_text.h"
#include "files/same_file.h"
#include "files/writable_file.h"

namespace quorvel {
namespace {

std::string Quoted(const std::string& text) {
  std::string quoted(1, '"');
  quoted += Printable(text);
  quoted += '"';
  return quoted;
}

std::string LiveProblem(const GsmtapTarget& target, const std::string& reason) {
  return "Could not send the trace to " + Quoted(GsmtapTargetText(target)) + ": " + reason + ".";
}

}  // namespace

std::string RunTraces::FileProblem(const std::string& reason) const {
  return "Could not write the trace file " + Quoted(*line_.traceFile) + ": " + reason + ".";
}

bool RunTraces::Prepare(const std::string& logFile, MessageSink& messages) {
  if (const auto& name = line_.traceFile) {
    const auto itself = [&](const char* what, const std::string& other) {
      messages.ShowMessage("The trace file " + Quoted(*name) + " is the " + what + " " +
                           Quoted(other) +
                           " itself: the trace would overwrite it. Name another "
                           "file with --trace.");
      return false;
    };
    if (line_.file && IsSameFile(*name, *line_.file)) return itself("command file", *line_.file);
    if (!logFile.empty() && IsSameFile(*name, logFile)) return itself("log file", logFile);
    if (const std::string reason = WhyNotWritable(*name); !reason.empty()) {
      messages.ShowMessage(FileProblem(reason));
      return false;
    }
  }
  if (const auto& target = line_.gsmtap) {
    if (const std::string reason = live_.Open(*target); !reason.empty()) {
      messages.ShowMessage(LiveProblem(*target, reason));
      return false;
    }
  }
  return true;
}

bool RunTraces::Start(TracingDisplay& display, MessageSink& messages) {
  if (line_.traceFile) {
    if (!file_.Create(*line_.traceFile)) {
      messages.ShowMessage(FileProblem(std::strerror(errno)));
      return false;
    }
    display.Attach(file_, line_.tracePins);
  }
  if (live_.IsOpen()) display.Attach(live_, line_.tracePins);
  return true;
}

bool RunTraces::CheckWrites(MessageSink& messages) {
  if (!file_lost_ && file_.writeError() != 0) {
    file_lost_ = true;
    messages.ShowMessage(FileProblem(std::strerror(file_.writeError())) +
                         "\nThe run goes on; the trace is incomplete.");
  }
  if (!live_lost_ && live_.writeError() != 0) {
    live_lost_ = true;
    messages.ShowMessage(LiveProblem(*line_.gsmtap, std::strerror(live_.writeError())) +
                         "\nThe run goes on; the live trace is incomplete.");
  }
  return !file_lost_ && !live_lost_;
}

}  // namespace quorvel
