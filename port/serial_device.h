#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "port/line_settings.h"
#include "port/port_choices.h"
#include "port/port_names.h"

namespace quorvel {

// How long a read waits in the device: at least minimumBytes, and up to
// intervalTenths tenths of a second between bytes. Both zero: a read returns at once
// with what has already arrived.
struct ReadTimeouts {
  std::uint8_t minimumBytes = 1;
  std::uint8_t intervalTenths = 0;
};

// One open serial line (a real device, the demo card or a test fake). Every
// operation returns at once (a write waits at most a short bound for room in a full
// output queue); all waiting is done by the callers in fixed steps.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Input and output queue sizes the caller needs; false when the device cannot hold them.
  virtual bool SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) = 0;
  virtual bool GetReadTimeouts(ReadTimeouts& timeouts) = 0;
  virtual bool SetReadTimeouts(const ReadTimeouts& timeouts) = 0;
  virtual bool GetLineSettings(LineSettings& settings) = 0;
  virtual bool SetLineSettings(const LineSettings& settings) = 0;
  // Raises or drops RTS (the card's reset line); false when the line cannot be changed.
  virtual bool SetRts(bool raised) = 0;
  // Takes up to count bytes of what has arrived; returns how many (0 on failure).
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
  // Returns once input is waiting, the device is gone or the timeout is over, whichever
  // comes first; at once when input is already waiting. Only deadline reads use it.
  virtual void WaitForInput(std::chrono::nanoseconds timeout) = 0;
  // Sends count bytes; returns how many the device accepted (0 on failure).
  virtual std::size_t Write(const std::uint8_t* bytes, std::size_t count) = 0;
  // Whether the device has gone for good (a reader unplugged, the far end of a
  // pseudo-terminal closed): nothing will ever pass through it again.
  virtual bool IsGone() const { return false; }
  // For a device that is gone: its path and what the system said.
  virtual std::string GoneReason() const { return {}; }
};

struct DeviceOpenResult {
  std::unique_ptr<SerialDevice> device;  // null when the device could not be opened
  std::string reason;                    // why not: device path and system reason
};

// Opens the device behind a four-character port name such as "COM2".
class DeviceFactory {
 public:
  virtual ~DeviceFactory() = default;
  virtual DeviceOpenResult Open(const std::string& portName) = 0;
  // The names that would open something now: ports present, the user's own names,
  // the demo card. Looked up anew at each call, only when they are to be shown.
  virtual std::vector<PortChoice> PortChoices() { return {}; }
  // What a port name stands for here; a factory without names of its own (a test's) opens
  // everything as a serial line.
  virtual PortTarget Target(const std::string& portName) const {
    return {PortTarget::Kind::Device, portName, {}};
  }
};

}  // namespace quorvel
