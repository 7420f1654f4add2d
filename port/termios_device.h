#pragma once

#include <chrono>
#include <string>

#include "port/serial_device.h"

namespace quorvel {

// A serial device through termios: opened exclusively, raw in both directions, input
// parity not checked (bytes are delivered as received). The descriptor stays
// non-blocking whatever the device is, so no read or write ever waits in the kernel.
class TermiosDevice final : public SerialDevice {
 public:
  // Fails with the path and the system's reason when the device cannot be opened,
  // is not a serial device (a terminal), or another program holds it.
  static DeviceOpenResult Open(const std::string& path);
  ~TermiosDevice() override;
  TermiosDevice(const TermiosDevice&) = delete;
  TermiosDevice& operator=(const TermiosDevice&) = delete;

  bool SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) override;
  bool GetReadTimeouts(ReadTimeouts& timeouts) override;
  bool SetReadTimeouts(const ReadTimeouts& timeouts) override;
  bool GetLineSettings(LineSettings& settings) override;
  // On a pseudo-terminal the frame bits it cannot hold are not kept, as the kernel has
  // it; a real device that does not keep the frame it was given has refused it.
  bool SetLineSettings(const LineSettings& settings) override;
  bool SetRts(bool raised) override;
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  void WaitForInput(std::chrono::nanoseconds timeout) override;
  // Waits at most kWriteBound in all for room in a full output queue; what cannot go out
  // by then is not sent.
  std::size_t Write(const std::uint8_t* bytes, std::size_t count) override;
  bool IsGone() const override { return !gone_.empty(); }
  std::string GoneReason() const override { return gone_; }

  static constexpr std::chrono::milliseconds kWriteBound{200};

 private:
  TermiosDevice(int fd, std::string path, bool pseudoTerminal);
  void SetModemLine(int line, bool raised);
  // Marks the device gone after an error that means it is no longer there.
  void NoteError(int error);
  // NoteError with errno, then false: for a request that failed.
  bool RequestFailed();
  // Marks the device gone when poll events say it hung up.
  void NoteEvents(short events);

  int fd_;
  std::string path_;
  bool pseudo_terminal_;
  std::string gone_;  // why the device is gone; empty while it is there
  // What the kernel does not keep (DSR handling, DTR and RTS modes), as last set.
  LineSettings applied_;
};

}  // namespace quorvel
