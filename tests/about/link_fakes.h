#pragma once

#include <string>
#include <vector>

#include "about/link_opener.h"
#include "support/recording_message_sink.h"

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

}  // namespace quorvel::testing
