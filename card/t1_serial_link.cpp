#include "card/t1_serial_link.h"

#include <algorithm>

#include "iso7816/t1_block.h"

namespace quorvel {
namespace {

using std::chrono::nanoseconds;

// A start bit, 8 data bits, parity and two stop bits: the longest frame a card's line runs.
constexpr unsigned kLongestFrameEtu = 12;
// After a block with LEN FF, at most this many bytes are read while waiting for quiet.
constexpr std::size_t kMostBytesAfterInvalidLength = 1024;
// Leftovers taken off the line before a block goes out, at most.
constexpr unsigned kMostClearedBytes = 1024;
constexpr std::uint8_t kShortestGuard = 255;

}  // namespace

T1SerialLink::T1SerialLink(CCardPort& port, Clock& clock, const T1Parameters& parameters,
                           std::uint32_t clockHz, std::uint32_t baud,
                           std::function<bool()> stopRequested)
    : port_(port),
      clock_(clock),
      parameters_(parameters),
      clockHz_(clockHz),
      times_(T1TimesAt(parameters, clockHz, baud)),
      reader_(port, clock, std::move(stopRequested)),
      lastCardByteAt_(clock.Now()),
      sentAt_(clock.Now()) {}

void T1SerialLink::SetLineRate(std::uint32_t baud) {
  times_ = T1TimesAt(parameters_, clockHz_, baud);
}

nanoseconds T1SerialLink::CharacterTime() const {
  return std::max(times_.characterGuard, times_.etu * kLongestFrameEtu);
}

T1Echo T1SerialLink::Send(std::span<const std::uint8_t> block) {
  T1Echo echo;
  clock_.WaitUntil(lastCardByteAt_ + times_.blockGuard);
  std::uint8_t waiting[64];
  for (unsigned n; echo.cleared.size() < kMostClearedBytes &&
                   (n = reader_.ReadWaiting(waiting, sizeof waiting)) > 0;) {
    echo.cleared.insert(echo.cleared.end(), waiting, waiting + n);
  }

  const auto count = static_cast<unsigned>(block.size());
  const nanoseconds start = clock_.Now();
  const std::uint8_t guard = parameters_.extraGuardTime;
  unsigned written = 0;
  if (guard == 0 || guard == kShortestGuard) {
    // The line's own frame keeps the characters far enough apart.
    written = port_.Write(block.data(), count);
  } else {
    for (unsigned i = 0; i < count; ++i) {
      clock_.WaitUntil(start + i * times_.characterGuard);
      if (port_.Write(block.data() + i, 1) != 1) break;
      ++written;
    }
  }
  echo.written = written == count;

  // The echo comes back as the characters go out, each a character's time after the last;
  // an adapter may hold the first ones until the whole block has gone out.
  const nanoseconds gap = CharacterTime() + kSerialAdapterMargin;
  const nanoseconds first = start + written * CharacterTime() + kSerialAdapterMargin;
  echo.bytes.resize(written);
  const unsigned echoed = written == 0 ? 0 : reader_.Read(echo.bytes.data(), written, first, gap);
  echo.bytes.resize(echoed);
  echo.stopped = reader_.stopped();
  sentAt_ = echoed > 0 ? reader_.lastArrival() : clock_.Now();
  return echo;
}

void T1SerialLink::TakeTrailingBytes(std::vector<std::uint8_t>& bytes, nanoseconds gap) {
  std::uint8_t more[64];
  while (bytes.size() < kMostBytesAfterInvalidLength) {
    const unsigned n = reader_.Read(more, sizeof more, reader_.lastArrival() + gap, gap);
    bytes.insert(bytes.end(), more, more + n);
    if (n < sizeof more) return;
  }
}

T1Reception T1SerialLink::Receive(unsigned waitingTimeFactor) {
  T1Reception reception;
  reception.waited = times_.blockWaiting * std::max(waitingTimeFactor, 1u);
  if (!port_.IsOpen()) {
    reception.end = T1ReceptionEnd::kPortClosed;
    return reception;
  }
  const unsigned edcLength = EdcLength(parameters_.edc);
  std::vector<std::uint8_t>& bytes = reception.bytes;
  bytes.resize(kT1PrologueLength + kT1MaxInformation + edcLength);
  const nanoseconds gap = times_.characterWaiting + kSerialAdapterMargin;
  const nanoseconds first = sentAt_ + reception.waited + kSerialAdapterMargin;
  unsigned got = reader_.Read(bytes.data(), kT1PrologueLength, first, gap);
  unsigned wanted = kT1PrologueLength;
  if (got == kT1PrologueLength && bytes[2] != kT1InvalidLength) {
    wanted += bytes[2] + edcLength;
    got += reader_.Read(bytes.data() + got, wanted - got, reader_.lastArrival() + gap, gap);
  }
  bytes.resize(got);
  if (got > 0) lastCardByteAt_ = reader_.lastArrival();

  if (reader_.stopped()) {
    reception.end = T1ReceptionEnd::kStopped;
  } else if (got == kT1PrologueLength && bytes[2] == kT1InvalidLength) {
    // No length to go by: whatever the card sends on is read until the line is quiet.
    TakeTrailingBytes(bytes, gap);
    lastCardByteAt_ = reader_.lastArrival();
    reception.end = reader_.stopped() ? T1ReceptionEnd::kStopped : T1ReceptionEnd::kInvalidLength;
  } else if (got == wanted) {
    reception.end = T1ReceptionEnd::kBlock;
  } else if (!port_.IsOpen()) {
    reception.end = T1ReceptionEnd::kPortClosed;
  } else {
    reception.end = got == 0 ? T1ReceptionEnd::kNothing : T1ReceptionEnd::kCutShort;
  }
  return reception;
}

}  // namespace quorvel
