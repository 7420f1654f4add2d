#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "port/clock.h"
#include "port/message_sink.h"
#include "port/port_choices.h"
#include "port/serial_device.h"

namespace quorvel {

// How the port waits for the card. Fixed: every wait runs its full described length,
// as the window does. Deadline: the port keeps the moment the fixed waits would have
// reached, and a read takes the bytes as they come, ending once it has all it asks for or
// at the moment the fixed read's last attempt would fall. Every wait starts where the
// fixed one would, so a read takes exactly the bytes the fixed read would have; only idle
// time goes. The command line runs with deadlines.
enum class PortTiming { kFixed, kDeadline };

// The one object through which the program touches the card reader: opens the device
// named by a settings string, applies settings strings, pulses RTS to reset the card,
// reads with timed retries, writes, and applies the card's inverse convention to every
// byte in both directions. Failures are shown through messages and leave the port closed;
// so does a device that goes away (a reader unplugged), which is then waited for no more.
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
  // PulseReset without the wait for the answer, for a caller that reads the answer with
  // ReadWithin and kAnswerWait. The answer's wait starts when the pulse ends.
  void PulseResetLine(const char* settings);
  // How long the card is given for its answer after the reset pulse.
  static constexpr std::chrono::milliseconds kAnswerWait{250};
  void Close();
  // The line settings the device runs now, as it reads them back; none while the port is
  // closed or when the device cannot tell.
  std::optional<LineSettings> LineInUse();
  // Changes only the rate of the line in use: its frame and modem lines stay, RTS off. The
  // device must take the rate and read back within 2 % of it (RatesAgree); otherwise the line
  // is put back as it was and the result is false. A refused rate shows no message and
  // leaves the port open: the caller says what it means.
  bool SetBaudRate(std::uint32_t baud);
  // Up to count bytes, with up to retries more attempts each after 200 ms. With deadlines
  // the attempts' moments are counted from where the fixed waits are: the read ends once
  // count bytes are in, or at the last attempt's moment; the fixed waits then go on from
  // the attempt that would have found the last byte.
  unsigned Read(std::uint8_t* buffer, unsigned count, int retries);
  // A wait of `window`, then one read of up to count bytes. With deadlines the bytes are
  // taken as they come, and the read ends once count are in or the window is over.
  unsigned ReadWithin(std::uint8_t* buffer, unsigned count, std::chrono::milliseconds window);
  // One more read inside the window of the last ReadWithin. With fixed waits that window
  // is over: one attempt at once. With deadlines the bytes are taken as they come until
  // the window's end, so what arrived within it is taken either way.
  unsigned ReadRestOfWindow(std::uint8_t* buffer, unsigned count);
  // Up to count bytes of which each may come up to `gap` after the one before (a card's
  // waiting time between characters): one attempt at once, then one after each gap, ending
  // once count are in or at the first gap that brings nothing. The gaps follow on from the
  // last ReadEachWithin when `goOn`, else they start where the fixed waits are. With
  // deadlines the bytes are taken as they come, and a read ends at the gap's end that the
  // fixed read would end at, so both take the same bytes.
  unsigned ReadEachWithin(std::uint8_t* buffer, unsigned count, std::chrono::milliseconds gap,
                          bool goOn = false);
  // Up to count bytes as they come, until count are in or the clock reaches `deadline`,
  // whatever the port's timing: one attempt at once when the deadline has passed. It leaves
  // what follows the count bytes in the device, and the fixed waits' moment as it was.
  unsigned ReadUntil(std::uint8_t* buffer, unsigned count, std::chrono::nanoseconds deadline);
  // With deadlines, waits until the moment the fixed waits have reached, so that what is
  // sent next goes out when it would with them; with fixed waits that moment is now.
  void CatchUpWithFixedWaits();
  void SetTiming(PortTiming timing) { m_timing = timing; }
  PortTiming timing() const { return m_timing; }
  // Takes whatever has arrived and is waiting, without waiting for more; returns how many
  // bytes went. Nothing when the port is closed.
  unsigned DiscardInput();
  // Returns the number of bytes the device accepted; the caller's bytes are not changed.
  // What the card does in answer is timed from here.
  unsigned Write(const std::uint8_t* bytes, unsigned count);
  void SetInverse(std::int32_t flag);
  std::int32_t inverse() const { return m_inverse; }
  // Complement, then reverse the bit order; its own inverse.
  static std::uint8_t ConvertInverse(std::uint8_t byte);
  bool IsOpen() const;
  // The command line's messages tell what to do there, and name the settings string a
  // parse refused; the window's keep their texts.
  void SetAudience(MessageAudience audience) { m_audience = audience; }

 private:
  // Shows the message and closes the port; a device that is gone is reported as such.
  void FailAndClose(const std::string& message);
  // Closes a device that has gone away and tells the user; true when it did.
  bool CloseIfGone();
  // One read attempt into buffer[from, count), converted for the inverse convention.
  unsigned Attempt(std::uint8_t* buffer, unsigned from, unsigned count);
  // With deadlines: more bytes as they come, after the `received` already in buffer, until
  // count are in or `until` has passed. Returns how many are in now.
  unsigned TakeMoreAsTheyCome(std::uint8_t* buffer, unsigned received, unsigned count,
                              std::chrono::nanoseconds until);
  // With deadlines: Read.
  unsigned ReadAsFixedAttemptsWould(std::uint8_t* buffer, unsigned count, int retries);

  DeviceFactory& m_devices;
  Clock& m_clock;
  MessageSink& m_messages;
  std::unique_ptr<SerialDevice> m_hPort;  // null while the port is closed
  std::int32_t m_inverse = 0;
  PortTiming m_timing = PortTiming::kFixed;
  MessageAudience m_audience = MessageAudience::kWindow;
  // With deadlines: the moment, on m_clock, that the fixed waits would have reached.
  std::chrono::nanoseconds m_fixedNow{0};
  std::chrono::nanoseconds m_windowEnd{0};  // end of the last ReadWithin's window
  std::chrono::nanoseconds m_gapStart{0};   // start of ReadEachWithin's current gap
  std::uint8_t m_txBuffer[256];
};

}  // namespace quorvel
