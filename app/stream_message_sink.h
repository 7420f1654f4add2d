#pragma once

#include <ostream>
#include <string>

#include "port/message_sink.h"

namespace quorvel {

// Messages without a window: each text as the message box would show it, on a stream
// (standard error), ended by a line feed.
class StreamMessageSink final : public MessageSink {
 public:
  explicit StreamMessageSink(std::ostream& stream) : stream_(stream) {}
  void ShowMessage(const std::string& text) override { stream_ << text << '\n' << std::flush; }

 private:
  std::ostream& stream_;
};

}  // namespace quorvel
