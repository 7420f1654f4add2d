#pragma once

#include <string>

#include "cli/command_line.h"
#include "port/message_sink.h"
#include "trace/gsmtap_sender.h"
#include "trace/pcap_file.h"
#include "trace/tracing_display.h"

namespace quorvel {

// The traces a run writes: --trace's pcap file and --gsmtap's live packets. Each is made
// ready before the card is touched, and a failed write later is told once.
class RunTraces {
 public:
  explicit RunTraces(const CommandLine& line) : line_(line) {}

  // Before the port is opened: the trace file must be one that can be written anew and be
  // neither the command file nor the log; the --gsmtap host must resolve. False after a
  // message saying why: the run must not start.
  bool Prepare(const std::string& logFile, MessageSink& messages);
  // Once the port is open, before anything goes to the card: creates the trace file and
  // attaches both to the display. False after a message: the run must not start.
  bool Start(TracingDisplay& display, MessageSink& messages);
  // After each step: tells the first failed write of each trace, once. False once one has
  // failed: the run ends with status 3.
  bool CheckWrites(MessageSink& messages);

 private:
  std::string FileProblem(const std::string& reason) const;

  const CommandLine& line_;
  PcapFile file_;
  GsmtapSender live_;
  bool file_lost_ = false;
  bool live_lost_ = false;
};

}  // namespace quorvel
