#pragma once

#include <optional>
#include <string>

#include "explore/pin_question.h"

namespace quorvel {

// Asks for a PIN on the controlling terminal (/dev/tty), whatever standard input and output
// are, with the echo off while it is typed: neither the screen nor a redirected output ever
// holds it. An interrupt while the echo is off gives the terminal back as it was.
class TerminalPinQuestion final : public PinQuestion {
 public:
  TerminalPinQuestion() = default;
  ~TerminalPinQuestion() override;
  TerminalPinQuestion(const TerminalPinQuestion&) = delete;
  TerminalPinQuestion& operator=(const TerminalPinQuestion&) = delete;

  // Opens the terminal; empty when it could, else why not, in words.
  std::string Open(const char* path = "/dev/tty");
  // The text and "PIN1: " on the terminal, then one line read without echo: the digits
  // before the line feed. None at end of input, or for an empty line.
  std::optional<std::string> AskPin(const std::string& name, const std::string& text) override;

 private:
  int fd_ = -1;
};

}  // namespace quorvel
