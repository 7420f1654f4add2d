#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "port/message_sink.h"

namespace quorvel {

// A name the user can put first in the settings, and what it opens.
struct PortChoice {
  enum class Source { kPresent, kOverride, kDemo, kPcsc };
  Source source = Source::kPresent;
  std::string name;         // empty for a present device with no name of its own
  std::string target;       // the device path, a demo card's name, or a PC/SC reader's name
  std::string description;  // the product, when the system knows it; a PC/SC reader's card
};

// "USB0  /dev/ttyUSB0  FT232R USB UART": the name, what it opens and what that is.
std::string PortChoiceLine(const PortChoice& choice);

// The settings string with its port name (all before its colon) replaced by name; a string
// without a colon becomes the name and a colon.
std::string WithPortName(std::string_view settings, std::string_view name);

// What follows "Could not create handle" and its reason: the ports present, the PC/SC readers,
// the user's own names and the demo cards, then how to use a name: in the window's settings (shown
// with the user's), or on the command line with --port.
std::string DescribePortChoices(const std::vector<PortChoice>& choices, std::string_view settings,
                                MessageAudience audience = MessageAudience::kWindow);

}  // namespace quorvel
