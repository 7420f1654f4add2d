#include "port/card_port.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "port/port_choices.h"
#include "port/port_names.h"
#include "port/settings_string.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kQueueBytes = 1024;
constexpr std::chrono::milliseconds kRetryWait{200};
constexpr std::chrono::milliseconds kRtsRaised{50};

}  // namespace

CCardPort::CCardPort(DeviceFactory& devices, Clock& clock, MessageSink& messages)
    : m_devices(devices), m_clock(clock), m_messages(messages) {}

CCardPort::~CCardPort() {
  Close();
}

void CCardPort::Open(const char* settings) {
  // Reopening must not leak the old device, nor let it keep the lock on the line.
  Close();
  const std::string portName(settings, strnlen(settings, kPortNameLength));
  DeviceOpenResult opened = m_devices.Open(portName);
  if (!opened.device) {
    std::string message = "Could not create handle";
    if (!opened.reason.empty()) message += "\n" + opened.reason;
    // Only now, when it helps, are the ports present looked up.
    const std::vector<PortChoice> choices = m_devices.PortChoices();
    if (!choices.empty()) message += "\n\n" + DescribePortChoices(choices, settings, m_audience);
    m_messages.ShowMessage(message);
    return;
  }
  m_hPort = std::move(opened.device);
  m_fixedNow = m_clock.Now();
  if (!m_hPort->SetQueueSizes(kQueueBytes, kQueueBytes)) return FailAndClose("SetupComm failed");
  ReadTimeouts timeouts;
  if (!m_hPort->GetReadTimeouts(timeouts)) return FailAndClose("GetCommTimeouts failed");
  // Reads return at once with what has arrived; every wait is ours, in fixed steps.
  timeouts.minimumBytes = 0;
  timeouts.intervalTenths = 0;
  if (!m_hPort->SetReadTimeouts(timeouts)) return FailAndClose("SetCommTimeouts failed");
}

void CCardPort::ApplySettings(const char* settings) {
  if (!m_hPort) return;
  LineSettings line;
  if (!m_hPort->GetLineSettings(line)) return FailAndClose("GetCommState failed");
  if (!ParseSettingsString(settings, line)) {
    if (m_audience == MessageAudience::kWindow) return FailAndClose("BuildCommDCB failed");
    return FailAndClose("BuildCommDCB failed\nThe settings string it refused: \"" +
                        std::string(settings) + "\"");
  }
  // The card's reset line rests with RTS off whatever the string says.
  line.rtsControl = RtsControl::Disable;
  if (!m_hPort->SetLineSettings(line)) return FailAndClose("SetCommState failed");
}

std::optional<LineSettings> CCardPort::LineInUse() {
  LineSettings line;
  if (!m_hPort || !m_hPort->GetLineSettings(line)) {
    CloseIfGone();
    return std::nullopt;
  }
  return line;
}

bool CCardPort::SetBaudRate(std::uint32_t baud) {
  const std::optional<LineSettings> before = LineInUse();
  if (!before || baud == 0) return false;
  LineSettings line = *before;
  line.baudRate = baud;
  line.rtsControl = RtsControl::Disable;
  if (m_hPort->SetLineSettings(line)) {
    const std::optional<LineSettings> kept = LineInUse();
    if (kept && RatesAgree(kept->baudRate, baud)) return true;
  }
  // A driver may have taken the nearest rate it has, or part of the change: back to the
  // line that worked.
  if (m_hPort) m_hPort->SetLineSettings(*before);
  CloseIfGone();
  return false;
}

void CCardPort::PulseReset(const char* settings) {
  PulseResetLine(settings);
  m_clock.Wait(kAnswerWait);
}

void CCardPort::PulseResetLine(const char* settings) {
  ApplySettings(settings);
  // A line that cannot be changed (a pseudo-terminal has no RTS) is no reason to stop.
  // The pulse itself keeps its length with deadlines too: it is what resets the card.
  if (m_hPort) m_hPort->SetRts(true);
  m_clock.Wait(kRtsRaised);
  if (m_hPort) m_hPort->SetRts(false);
  m_fixedNow = m_clock.Now();
}

void CCardPort::Close() {
  m_hPort.reset();
}

unsigned CCardPort::DiscardInput() {
  unsigned discarded = 0;
  std::uint8_t sink[64];
  while (m_hPort) {
    const auto got = static_cast<unsigned>(m_hPort->Read(sink, sizeof sink));
    CloseIfGone();
    if (got == 0) break;
    discarded += got;
  }
  return discarded;
}

unsigned CCardPort::Attempt(std::uint8_t* buffer, unsigned from, unsigned count) {
  if (!m_hPort || from >= count) return 0;
  const auto got = static_cast<unsigned>(m_hPort->Read(buffer + from, count - from));
  CloseIfGone();
  if (m_inverse != 0)
    std::transform(buffer + from, buffer + from + got, buffer + from, ConvertInverse);
  return got;
}

unsigned CCardPort::Read(std::uint8_t* buffer, unsigned count, int retries) {
  if (m_timing == PortTiming::kDeadline) return ReadAsFixedAttemptsWould(buffer, count, retries);
  const bool wasOpen = IsOpen();
  unsigned received = Attempt(buffer, 0, count);
  // A device that went away during the read is waited for no more; a read that began on a
  // closed port keeps its waits.
  for (int retry = 0; retry < retries && received < count && IsOpen() == wasOpen; ++retry) {
    m_clock.Wait(kRetryWait);
    received += Attempt(buffer, received, count);
  }
  return received;
}

unsigned CCardPort::ReadAsFixedAttemptsWould(std::uint8_t* buffer, unsigned count, int retries) {
  // The fixed read attempts at once, then after each 200 ms: its attempts fall at
  // first + k x 200 ms, k = 0 .. retries, where first is the moment the fixed waits reached.
  const std::chrono::nanoseconds first = m_fixedNow;
  const int attempts = std::max(retries, 0);
  const std::chrono::nanoseconds last = first + attempts * kRetryWait;
  unsigned received = Attempt(buffer, 0, count);
  if (received >= count) return received;  // the fixed read's first attempt takes them too
  received = TakeMoreAsTheyCome(buffer, received, count, last);
  if (received < count) {
    m_fixedNow = last;
    return received;
  }
  // Complete: the fixed read would have found its last byte at the first attempt after it
  // came, and gone on from there.
  const auto late = m_clock.Now() - first;
  const auto waits = late <= std::chrono::nanoseconds::zero() ? 0 : (late - 1ns) / kRetryWait + 1;
  m_fixedNow = first + std::min<std::int64_t>(waits, attempts) * kRetryWait;
  return received;
}

unsigned CCardPort::ReadWithin(std::uint8_t* buffer, unsigned count,
                               std::chrono::milliseconds window) {
  if (m_timing == PortTiming::kDeadline) {
    m_windowEnd = m_fixedNow + window;
    m_fixedNow = m_windowEnd;
    return TakeMoreAsTheyCome(buffer, Attempt(buffer, 0, count), count, m_windowEnd);
  }
  m_clock.Wait(window);
  return Attempt(buffer, 0, count);
}

unsigned CCardPort::ReadRestOfWindow(std::uint8_t* buffer, unsigned count) {
  if (m_timing == PortTiming::kDeadline)
    return TakeMoreAsTheyCome(buffer, Attempt(buffer, 0, count), count, m_windowEnd);
  return Attempt(buffer, 0, count);
}

unsigned CCardPort::ReadEachWithin(std::uint8_t* buffer, unsigned count,
                                   std::chrono::milliseconds gap, bool goOn) {
  const bool deadline = m_timing == PortTiming::kDeadline;
  if (!goOn) m_gapStart = deadline ? m_fixedNow : m_clock.Now();
  unsigned received = Attempt(buffer, 0, count);
  // The fixed read's first attempt falls where the last gap ended: what came by then.
  if (deadline) received = TakeMoreAsTheyCome(buffer, received, count, m_gapStart);
  while (received < count && m_hPort) {
    const unsigned before = received;
    const std::chrono::nanoseconds end = m_gapStart + gap;
    if (deadline) {
      received = TakeMoreAsTheyCome(buffer, received, count, end);
    } else {
      m_clock.Wait(gap);
      received += Attempt(buffer, received, count);
    }
    // The fixed read finds these bytes at the gap's end, and the next gap starts there.
    m_gapStart = end;
    m_fixedNow = end;
    if (received == before) break;
  }
  return received;
}

unsigned CCardPort::ReadUntil(std::uint8_t* buffer, unsigned count,
                              std::chrono::nanoseconds deadline) {
  return TakeMoreAsTheyCome(buffer, Attempt(buffer, 0, count), count, deadline);
}

void CCardPort::CatchUpWithFixedWaits() {
  if (m_timing == PortTiming::kDeadline) m_clock.WaitUntil(m_fixedNow);
}

unsigned CCardPort::TakeMoreAsTheyCome(std::uint8_t* buffer, unsigned received, unsigned count,
                                       std::chrono::nanoseconds until) {
  // A closed port receives nothing, however long it is given.
  while (m_hPort && received < count) {
    const auto left = until - m_clock.Now();
    if (left <= std::chrono::nanoseconds::zero()) break;
    m_hPort->WaitForInput(left);
    received += Attempt(buffer, received, count);
  }
  return received;
}

unsigned CCardPort::Write(const std::uint8_t* bytes, unsigned count) {
  m_fixedNow = m_clock.Now();
  if (!m_hPort) return 0;
  if (m_inverse == 0) {
    const auto sent = static_cast<unsigned>(m_hPort->Write(bytes, count));
    CloseIfGone();
    return sent;
  }
  // Converted in pieces the size of the buffer, so any count is sent whole.
  unsigned sent = 0;
  while (sent < count) {
    const unsigned piece = std::min<unsigned>(count - sent, sizeof m_txBuffer);
    std::transform(bytes + sent, bytes + sent + piece, m_txBuffer, ConvertInverse);
    const auto accepted = static_cast<unsigned>(m_hPort->Write(m_txBuffer, piece));
    sent += accepted;
    if (accepted < piece) break;
  }
  CloseIfGone();
  return sent;
}

void CCardPort::SetInverse(std::int32_t flag) {
  m_inverse = flag;
}

std::uint8_t CCardPort::ConvertInverse(std::uint8_t byte) {
  std::uint8_t reversed = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (byte & (1u << bit)) reversed |= static_cast<std::uint8_t>(0x80u >> bit);
  }
  return static_cast<std::uint8_t>(~reversed);
}

bool CCardPort::IsOpen() const {
  return m_hPort != nullptr;
}

void CCardPort::FailAndClose(const std::string& message) {
  if (CloseIfGone()) return;
  m_messages.ShowMessage(message);
  Close();
}

bool CCardPort::CloseIfGone() {
  if (!m_hPort || !m_hPort->IsGone()) return false;
  // Told once: the port is closed now, and a closed port fails quietly until Reset.
  m_messages.ShowMessage("The card reader has gone away (" + m_hPort->GoneReason() + ").\n" +
                         (m_audience == MessageAudience::kWindow
                              ? "When it is back, click Reset to open it again."
                              : "The commands left fail; when it is back, run the list again."));
  Close();
  return true;
}

}  // namespace quorvel
