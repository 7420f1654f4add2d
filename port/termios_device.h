#pragma once

#include <string>

#include "port/serial_device.h"

namespace quorvel {

// A serial device through termios: opened exclusively, raw in both directions, input
// parity not checked (bytes are delivered as received).
class TermiosDevice final : public SerialDevice {
 public:
  // Fails with the path and the system's reason when the device cannot be opened,
  // is no terminal, or another program holds it.
  static DeviceOpenResult Open(const std::string& path);
  ~TermiosDevice() override;
  TermiosDevice(const TermiosDevice&) = delete;
  TermiosDevice& operator=(const TermiosDevice&) = delete;

  bool SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) override;
  bool GetReadTimeouts(ReadTimeouts& timeouts) override;
  bool SetReadTimeouts(const ReadTimeouts& timeouts) override;
  bool GetLineSettings(LineSettings& settings) override;
  bool SetLineSettings(const LineSettings& settings) override;
  bool SetRts(bool raised) override;
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  void WaitForInput(std::chrono::nanoseconds timeout) override;
  std::size_t Write(const std::uint8_t* bytes, std::size_t count) override;

 private:
  explicit TermiosDevice(int fd) : fd_(fd) {}
  void SetModemLine(int line, bool raised);

  int fd_;
  // What the kernel does not keep (DSR handling, DTR and RTS modes), as last set.
  LineSettings applied_;
};

}  // namespace quorvel
