#pragma once

#include <string>

#include "trace/gsmtap_sender.h"
#include "trace/pcap_file.h"
#include "trace/tracing_display.h"

namespace quorvel {

// Where the window's traces go: "Record a trace..." writes a pcap file from the moment it
// is chosen until it is chosen again; "Send to Wireshark (GSMTAP)" sends the same packets to
// 127.0.0.1:4729 while it is checked. Neither outlives the window: a trace is a deliberate
// act, never a remembered setting.
class WindowTrace {
 public:
  explicit WindowTrace(SessionDisplay& shown) : display_(shown) {}

  // What the session shows through: the display given, with the traces taken on the way.
  SessionDisplay& display() { return display_; }

  // Creates the file and records into it from the next step on; empty when it could be
  // created, else the message to show. PIN data as sent only with keepSecretCodes.
  std::string StartRecording(const std::string& path, bool keepSecretCodes);
  void StopRecording();
  bool recording() const { return display_.Attached(file_); }
  const std::string& recordingPath() const { return path_; }

  // Sends live to 127.0.0.1:4729, PIN data masked; empty when the socket could be made,
  // else the message to show.
  std::string StartSending();
  void StopSending();
  bool sending() const { return display_.Attached(live_); }

  // After the steps of an exchange were shown: what failed since, as a message (empty when
  // nothing did). A file that could not be written stops recording, with every packet
  // before the failure in it; live packets that could not be sent are told once.
  std::string TakeWriteFailures();

 private:
  TracingDisplay display_;
  PcapFile file_;
  std::string path_;
  GsmtapSender live_;
  bool live_failure_told_ = false;
};

}  // namespace quorvel
