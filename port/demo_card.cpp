#include "port/demo_card.h"

#include <algorithm>
#include <array>

namespace quorvel {
namespace {

// TS 3B (direct convention), T0 6C (TB1 and TC1 present, 12 historical bytes), TB1 00
// (no programming voltage), TC1 00 (no extra guard time), then "QUORVEL DEMO"; T=0 only.
constexpr std::array<std::uint8_t, 16> kAnswerToReset = {
    0x3B, 0x6C, 0x00, 0x00, 'Q', 'U', 'O', 'R', 'V', 'E', 'L', ' ', 'D', 'E', 'M', 'O'};
// A card starts its answer a few hundred clock cycles after the reset line is released.
constexpr std::chrono::microseconds kAnswerDelay{2000};

}  // namespace

DemoCard::DemoCard(Clock& clock) : clock_(clock) {}

bool DemoCard::SetQueueSizes(std::size_t, std::size_t) {
  return true;
}

bool DemoCard::GetReadTimeouts(ReadTimeouts& timeouts) {
  timeouts = timeouts_;
  return true;
}

bool DemoCard::SetReadTimeouts(const ReadTimeouts& timeouts) {
  timeouts_ = timeouts;
  return true;
}

bool DemoCard::GetLineSettings(LineSettings& settings) {
  settings = line_;
  return true;
}

bool DemoCard::SetLineSettings(const LineSettings& settings) {
  if (!IsValidFrame(settings)) return false;
  line_ = settings;
  if (settings.rtsControl == RtsControl::Enable) SetRts(true);
  if (settings.rtsControl == RtsControl::Disable) SetRts(false);
  return true;
}

bool DemoCard::SetRts(bool raised) {
  if (raised) {
    phase_ = Phase::Silent;  // held in reset
  } else if (rtsRaised_) {
    Reset();
  }
  rtsRaised_ = raised;
  return true;
}

std::size_t DemoCard::Read(std::uint8_t* buffer, std::size_t count) {
  const auto now = clock_.Now();
  std::size_t taken = 0;
  while (taken < count && !line_bytes_.empty() && line_bytes_.front().readyAt <= now) {
    buffer[taken++] = line_bytes_.front().value;
    line_bytes_.pop_front();
  }
  return taken;
}

void DemoCard::WaitForInput(std::chrono::nanoseconds timeout) {
  // Nothing else puts bytes on this line: the next byte's time is known in advance.
  auto until = clock_.Now() + timeout;
  if (!line_bytes_.empty()) until = std::min(until, line_bytes_.front().readyAt);
  clock_.WaitUntil(until);
}

std::size_t DemoCard::Write(const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    // The reader's wiring echoes the byte; the card hears it at the same moment.
    Transmit(bytes + i, 1);
    CardReceives(bytes[i]);
  }
  return count;
}

std::chrono::nanoseconds DemoCard::CharacterTime() const {
  const std::uint64_t halfBits = HalfBitsPerCharacter(line_);
  return std::chrono::nanoseconds(halfBits * 1'000'000'000ull / (2ull * line_.baudRate));
}

void DemoCard::Transmit(const std::uint8_t* bytes, std::size_t count) {
  const auto characterTime = CharacterTime();
  lineFreeAt_ = std::max(lineFreeAt_, clock_.Now());
  for (std::size_t i = 0; i < count; ++i) {
    lineFreeAt_ += characterTime;
    line_bytes_.push_back({lineFreeAt_, bytes[i]});
  }
}

void DemoCard::Reset() {
  commands_ = DemoCardCommands();
  phase_ = Phase::Header;
  headerCount_ = 0;
  lineFreeAt_ = std::max(lineFreeAt_, clock_.Now() + kAnswerDelay);
  Transmit(kAnswerToReset.data(), kAnswerToReset.size());
}

void DemoCard::CardReceives(std::uint8_t byte) {
  switch (phase_) {
    case Phase::Silent:
      return;
    case Phase::Header:
      header_[headerCount_++] = byte;
      if (headerCount_ == sizeof header_) HeaderComplete();
      return;
    case Phase::Data:
      data_.push_back(byte);
      if (data_.size() == header_[4]) {
        answer_.clear();
        commands_.Run(header_, data_, answer_);
        Transmit(answer_.data(), answer_.size());
        phase_ = Phase::Header;
      }
      return;
  }
}

void DemoCard::HeaderComplete() {
  headerCount_ = 0;
  answer_.clear();
  if (const auto refusal = commands_.Refusal(header_)) {
    answer_ = {static_cast<std::uint8_t>(*refusal >> 8), static_cast<std::uint8_t>(*refusal)};
  } else {
    // The procedure byte INS: all data in one block.
    answer_.push_back(header_[1]);
    const std::uint8_t p3 = header_[4];
    if (DemoCardCommands::TakesData(header_[1]) && p3 > 0) {
      data_.clear();
      phase_ = Phase::Data;
    } else {
      commands_.Run(header_, {}, answer_);
    }
  }
  Transmit(answer_.data(), answer_.size());
}

}  // namespace quorvel
