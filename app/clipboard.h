#pragma once

#include <string>

namespace quorvel {

// The desktop's clipboard, as Copy fills it.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual void SetText(const std::string& text) = 0;
};

}  // namespace quorvel
