#pragma once

#include <string>
#include <vector>

#include "port/message_sink.h"

namespace quorvel::testing {

// Keeps every message the program would have shown, in order.
class RecordingMessageSink final : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  std::vector<std::string> messages;
};

}  // namespace quorvel::testing
