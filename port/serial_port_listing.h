#pragma once

#include <string>
#include <vector>

#include "port/port_choices.h"

namespace quorvel {

// Where the system shows its devices; tests point these at a tree of their own.
struct SystemRoots {
  std::string sysfs = "/sys";
  std::string dev = "/dev";
};

// The serial ports present on this machine, from sysfs and /dev alone: every terminal
// with hardware behind it (a `device` link) and a node in /dev, USB adapters first, then
// modem-class ones, then UARTs. A UART that reports no hardware (type 0) is left out.
// Each carries its default name, when it has one, and the product name of a USB device.
std::vector<PortChoice> ListSerialPorts(const SystemRoots& roots);

}  // namespace quorvel
