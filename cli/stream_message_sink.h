#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "port/message_sink.h"

namespace quorvel {

// Messages without a window: each text as the message box would show it, on a stream
// (standard error), ended by a line feed. Control characters other than the line breaks
// are shown as \xNN, as --list shows them: a name from a file cannot drive the terminal.
class StreamMessageSink final : public MessageSink {
 public:
  explicit StreamMessageSink(std::ostream& stream) : stream_(stream) {}
  void ShowMessage(const std::string& text) override;

 private:
  std::ostream& stream_;
};

// Standard output of the command line: each piece goes out at once, and the first one that
// cannot (a full disk, a file-size limit, a closed descriptor) is told once through the
// messages. What follows it is dropped.
class CheckedOutput {
 public:
  CheckedOutput(std::ostream& stream, MessageSink& messages)
      : stream_(stream), messages_(messages) {}
  void Write(std::string_view text);
  bool failed() const { return failed_; }

 private:
  std::ostream& stream_;
  MessageSink& messages_;
  bool failed_ = false;
};

}  // namespace quorvel
