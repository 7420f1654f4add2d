#pragma once

#include <optional>
#include <string>

namespace quorvel {

// Where the program asks the user for a PIN: a modal box in the window, the terminal without
// echo on the command line. The answer is the caller's to wipe once sent (WipeSecret).
class PinQuestion {
 public:
  virtual ~PinQuestion() = default;
  // Tells `text` (what the card said of the tries left) and asks for `name` ("PIN1", "CHV1").
  // None when the user declines.
  virtual std::optional<std::string> AskPin(const std::string& name, const std::string& text) = 0;
};

// Overwrites a PIN's digits where they lie before the string lets them go.
void WipeSecret(std::string& secret);

}  // namespace quorvel
