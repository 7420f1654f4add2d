#pragma once

#include <string>

namespace quorvel {

// Where an operation tells the user something: the program's modal message box
// (an OK button, the exclamation icon, the application name as caption).
// Returns once the user has closed it.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(const std::string& text) = 0;
};

// Who reads the messages: the window's user, or someone at the command line, who is told
// what to do there rather than which button to click.
enum class MessageAudience { kWindow, kCommandLine };

}  // namespace quorvel
