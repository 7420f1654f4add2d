#pragma once

#include <string>
#include <thread>
#include <vector>

#include "port/message_sink.h"

namespace quorvel::testing {

// Keeps every message the program would have shown, in order.
class RecordingMessageSink final : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    threads.push_back(std::this_thread::get_id());
  }

  std::vector<std::string> messages;
  std::vector<std::thread::id> threads;  // where each was shown
};

}  // namespace quorvel::testing
