#include "port/demo_wiring.h"

#include <algorithm>

namespace quorvel {

bool DemoWiring::SetQueueSizes(std::size_t, std::size_t) {
  return true;
}

bool DemoWiring::GetReadTimeouts(ReadTimeouts& timeouts) {
  timeouts = timeouts_;
  return true;
}

bool DemoWiring::SetReadTimeouts(const ReadTimeouts& timeouts) {
  timeouts_ = timeouts;
  return true;
}

bool DemoWiring::GetLineSettings(LineSettings& settings) {
  settings = line_;
  return true;
}

bool DemoWiring::SetLineSettings(const LineSettings& settings) {
  if (!IsValidFrame(settings)) return false;
  line_ = settings;
  if (settings.rtsControl == RtsControl::Enable) SetRts(true);
  if (settings.rtsControl == RtsControl::Disable) SetRts(false);
  return true;
}

bool DemoWiring::SetRts(bool raised) {
  if (raised) {
    HoldInReset();
  } else if (rts_raised_) {
    StartAfterReset();
  }
  rts_raised_ = raised;
  return true;
}

std::size_t DemoWiring::Read(std::uint8_t* buffer, std::size_t count) {
  const auto now = clock_.Now();
  std::size_t taken = 0;
  while (taken < count && !line_bytes_.empty() && line_bytes_.front().readyAt <= now) {
    buffer[taken++] = line_bytes_.front().value;
    line_bytes_.pop_front();
  }
  return taken;
}

void DemoWiring::WaitForInput(std::chrono::nanoseconds timeout) {
  // Nothing else puts bytes on this line: the next byte's time is known in advance.
  auto until = clock_.Now() + timeout;
  if (!line_bytes_.empty()) until = std::min(until, line_bytes_.front().readyAt);
  clock_.WaitUntil(until);
}

std::size_t DemoWiring::Write(const std::uint8_t* bytes, std::size_t count) {
  // The whole write goes out back to back from the moment it is handed over, however long
  // this loop takes: the card hears each byte when it has crossed the line.
  const auto start = clock_.Now();
  for (std::size_t i = 0; i < count; ++i) {
    PutOnLine({bytes + i, 1}, start, LineCharacterTime(), true);
    CardReceives(bytes[i]);
  }
  return count;
}

std::chrono::nanoseconds DemoWiring::LineCharacterTime() const {
  const std::uint64_t halfBits = HalfBitsPerCharacter(line_);
  return std::chrono::nanoseconds(halfBits * 1'000'000'000ull / (2ull * line_.baudRate));
}

void DemoWiring::PutOnLine(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds start,
                           std::chrono::nanoseconds characterTime, bool readable) {
  line_free_at_ = std::max(line_free_at_, start);
  for (const std::uint8_t byte : bytes) {
    line_free_at_ += characterTime;
    if (readable) line_bytes_.push_back({line_free_at_, byte});
  }
}

}  // namespace quorvel
