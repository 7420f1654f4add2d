#include "trace/window_trace.h"

#include <cerrno>
#include <cstring>

#include "trace/gsmtap_packet.h"

namespace quorvel {
namespace {

const GsmtapTarget kLocalWireshark{"127.0.0.1", kGsmtapPort};

}  // namespace

std::string WindowTrace::StartRecording(const std::string& path, bool keepSecretCodes) {
  StopRecording();
  if (!file_.Create(path))
    return "Could not record a trace in \"" + path + "\": " + std::strerror(errno) + ".";
  path_ = path;
  display_.Attach(file_, keepSecretCodes);
  return std::string();
}

void WindowTrace::StopRecording() {
  display_.Detach(file_);
  file_.Close();
}

std::string WindowTrace::StartSending() {
  if (sending()) return std::string();
  if (const std::string reason = live_.Open(kLocalWireshark); !reason.empty())
    return "Could not send to Wireshark at " + GsmtapTargetText(kLocalWireshark) + ": " + reason +
           ".";
  live_failure_told_ = false;
  display_.Attach(live_, false);
  return std::string();
}

void WindowTrace::StopSending() {
  display_.Detach(live_);
  live_.Close();
}

std::string WindowTrace::TakeWriteFailures() {
  std::string failures;
  if (recording() && file_.writeError() != 0) {
    failures = "Could not write the trace \"" + path_ + "\": " + std::strerror(file_.writeError()) +
               ".\nRecording has stopped; the file holds the trace up to there.";
    StopRecording();
  }
  if (sending() && live_.writeError() != 0 && !live_failure_told_) {
    live_failure_told_ = true;
    if (!failures.empty()) failures += "\n\n";
    failures += "Could not send to Wireshark at " + GsmtapTargetText(kLocalWireshark) + ": " +
                std::strerror(live_.writeError()) + ".";
  }
  return failures;
}

}  // namespace quorvel
