#include "port/demo_card.h"

#include <algorithm>
#include <array>
#include <span>

#include "iso7816/pps.h"

namespace quorvel {
namespace {

// TS 3B (direct convention), T0 6C (TB1 and TC1 present, 12 historical bytes), TB1 00
// (no programming voltage), TC1 00 (no extra guard time), then "QUORVEL DEMO"; T=0 only.
constexpr std::array<std::uint8_t, 16> kAnswerToReset = {
    0x3B, 0x6C, 0x00, 0x00, 'Q', 'U', 'O', 'R', 'V', 'E', 'L', ' ', 'D', 'E', 'M', 'O'};
// TS 3B, T0 9C (TA1 and TD1 follow, 12 historical bytes), TA1 96 (Fi=512, Di=32), TD1 80
// (T=0; TD2 follows), TD2 1F (T=15; TA3 follows), TA3 03 (no clock stop; classes A and B),
// "QUORVEL FAST", and the TCK that T=15 calls for.
constexpr std::array<std::uint8_t, 19> kFastAnswerToReset = {
    0x3B, 0x9C, 0x96, 0x80, 0x1F, 0x03, 'Q', 'U', 'O', 'R',
    'V',  'E',  'L',  ' ',  'F',  'A',  'S', 'T', 0xF0};
constexpr std::uint8_t kFastTa1 = 0x96;
constexpr std::uint8_t kDefaultFiDi = 0x11;
// A card starts its answer a few hundred clock cycles after the reset line is released.
constexpr std::chrono::microseconds kAnswerDelay{2000};
// T=0 characters with no extra guard time (no TC1): 12 etu from one to the next.
constexpr std::uint64_t kEtuPerCharacter = 12;

constexpr bool CheckIsRight(std::span<const std::uint8_t> atr) {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) sum ^= atr[i];
  return sum == 0;
}
static_assert(CheckIsRight(kFastAnswerToReset));

// DEMF takes the speed of its TA1 and the default one; for any other it keeps the default.
bool FastCardSupports(std::uint8_t fiDi) {
  return fiDi == kFastTa1 || (ClockRateOf(fiDi).fi == 372 && BaudRateAdjustmentOf(fiDi) == 1);
}

}  // namespace

DemoCard::DemoCard(Clock& clock, DemoCardModel model, std::uint32_t readerClockHz,
                   std::unique_ptr<CardApplication> application)
    : DemoWiring(clock),
      model_(model),
      readerClockHz_(readerClockHz != 0 ? readerClockHz : kDefaultReaderClockHz),
      commands_(application ? std::move(application) : std::make_unique<DemoCardCommands>()) {}

void DemoCard::CardSends(const std::uint8_t* bytes, std::size_t count) {
  if (model_ == DemoCardModel::kDemo) {
    return PutOnLine({bytes, count}, clock_.Now(), LineCharacterTime(), true);
  }
  // An etu is Fi / (Di x f): the character time follows the clock, not a rounded rate.
  const std::uint64_t fi = ClockRateOf(fiDi_).fi;
  const std::uint64_t di = BaudRateAdjustmentOf(fiDi_);
  const std::chrono::nanoseconds characterTime(kEtuPerCharacter * fi * 1'000'000'000ull /
                                               (di * readerClockHz_));
  PutOnLine({bytes, count}, clock_.Now(), characterTime, RateAgrees());
}

bool DemoCard::RateAgrees() const {
  const std::uint32_t cardRate =
      BaudRate(readerClockHz_, ClockRateOf(fiDi_).fi, BaudRateAdjustmentOf(fiDi_));
  return RatesAgree(line().baudRate, cardRate);
}

void DemoCard::Reset() {
  commands_->Reset();
  phase_ = Phase::Header;
  headerCount_ = 0;
  QuietUntil(clock_.Now() + kAnswerDelay);
  if (model_ == DemoCardModel::kDemo) {
    CardSends(kAnswerToReset.data(), kAnswerToReset.size());
    return;
  }
  fiDi_ = kDefaultFiDi;
  ppsAllowed_ = true;
  CardSends(kFastAnswerToReset.data(), kFastAnswerToReset.size());
}

void DemoCard::CardReceives(std::uint8_t byte) {
  // DEMF makes nothing of characters at a rate other than its own.
  if (model_ == DemoCardModel::kFast && !RateAgrees()) return;
  switch (phase_) {
    case Phase::Silent:
      return;
    case Phase::Pps:
      pps_[ppsCount_++] = byte;
      if (ppsCount_ >= 2 && ppsCount_ == PpsLength(pps_[1])) PpsComplete();
      return;
    case Phase::Header:
      // PPSS may come only first after the ATR; later FF is a class byte like any other.
      if (ppsAllowed_ && byte == 0xFF) {
        ppsAllowed_ = false;
        pps_[0] = byte;
        ppsCount_ = 1;
        phase_ = Phase::Pps;
        return;
      }
      ppsAllowed_ = false;
      header_[headerCount_++] = byte;
      if (headerCount_ == sizeof header_) HeaderComplete();
      return;
    case Phase::Data:
      data_.push_back(byte);
      if (data_.size() == header_[4]) {
        answer_.clear();
        commands_->Run(header_, data_, answer_);
        CardSends(answer_.data(), answer_.size());
        phase_ = Phase::Header;
      }
      return;
  }
}

void DemoCard::HeaderComplete() {
  headerCount_ = 0;
  answer_.clear();
  if (const auto refusal = commands_->Refusal(header_)) {
    answer_ = {static_cast<std::uint8_t>(*refusal >> 8), static_cast<std::uint8_t>(*refusal)};
  } else {
    // The procedure byte INS: all data in one block.
    answer_.push_back(header_[1]);
    const std::uint8_t p3 = header_[4];
    if (commands_->TakesData(header_) && p3 > 0) {
      data_.clear();
      phase_ = Phase::Data;
    } else {
      commands_->Run(header_, {}, answer_);
    }
  }
  CardSends(answer_.data(), answer_.size());
}

void DemoCard::PpsComplete() {
  phase_ = Phase::Header;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < ppsCount_; ++i) sum ^= pps_[i];
  const std::uint8_t pps0 = pps_[1];
  // An erroneous request, or one for a protocol other than T=0, gets no answer: the card
  // waits for the reset that the reader then owes it.
  if (sum != 0 || (pps0 & 0x80) != 0 || (pps0 & 0x0F) != 0) {
    phase_ = Phase::Silent;
    return;
  }
  // PPS2 and PPS3 are left out of the answer; PPS1 is echoed when its speed is taken.
  const bool takesPps1 = (pps0 & 0x10) != 0 && FastCardSupports(pps_[2]);
  const std::uint8_t newFiDi = takesPps1 ? pps_[2] : kDefaultFiDi;
  if (takesPps1) {
    const PpsRequest response = MakePpsRequest(0, newFiDi);
    CardSends(response.data(), response.size());
  } else {
    const std::uint8_t response[3] = {0xFF, 0x00, 0xFF};
    CardSends(response, sizeof response);
  }
  // The new speed holds from the first character after the response.
  fiDi_ = newFiDi;
}

}  // namespace quorvel
