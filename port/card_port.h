#pragma once

#include <cstdint>
#include <memory>

#include "port/clock.h"
#include "port/message_sink.h"
#include "port/serial_device.h"

namespace quorvel {

// The one object through which the program touches the card reader: opens the device
// named by a settings string, applies settings strings, pulses RTS to reset the card,
// reads with timed retries, writes, and applies the card's inverse convention to every
// byte in both directions. Failures are shown through messages and leave the port closed.
class CCardPort {
 public:
  CCardPort(DeviceFactory& devices, Clock& clock, MessageSink& messages);
  ~CCardPort();
  CCardPort(const CCardPort&) = delete;
  CCardPort& operator=(const CCardPort&) = delete;

  // Opens the device named by the first four characters and makes reads return at once.
  // An open port is closed first. Applies no line settings.
  void Open(const char* settings);
  // Applies the string's line settings with RTS held off; nothing when the port is closed.
  void ApplySettings(const char* settings);
  // ApplySettings, then RTS raised for 50 ms and dropped, then 250 ms for the answer.
  // The waits happen even when the port is closed.
  void PulseReset(const char* settings);
  void Close();
  // Up to count bytes, with up to retries more attempts each after 200 ms.
  unsigned Read(std::uint8_t* buffer, unsigned count, int retries);
  // Returns the number of bytes the device accepted; the caller's bytes are not changed.
  unsigned Write(const std::uint8_t* bytes, unsigned count);
  void SetInverse(std::int32_t flag);
  // Complement, then reverse the bit order; its own inverse.
  static std::uint8_t ConvertInverse(std::uint8_t byte);
  bool IsOpen() const;

 private:
  void FailAndClose(const char* message);

  DeviceFactory& m_devices;
  Clock& m_clock;
  MessageSink& m_messages;
  std::unique_ptr<SerialDevice> m_hPort;  // null while the port is closed
  std::int32_t m_inverse = 0;
  std::uint8_t m_txBuffer[256];
};

}  // namespace quorvel
