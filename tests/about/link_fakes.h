#pragma once

#include <string>
#include <vector>

#include "about/link_opener.h"
#include "port/message_sink.h"

namespace quorvel::testing {

// Opens nothing: records each target and answers with a set result.
class FakeLinkOpener final : public LinkOpener {
 public:
  int OpenTarget(const std::string& target) override {
    opened.push_back(target);
    return result;
  }

  int result = 33;
  std::vector<std::string> opened;
};

// Records the message boxes instead of showing them.
class RecordingMessageSink final : public MessageSink {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  std::vector<std::string> messages;
};

}  // namespace quorvel::testing
