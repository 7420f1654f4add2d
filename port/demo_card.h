#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "iso7816/transmission_rate.h"
#include "port/clock.h"
#include "port/demo_card_commands.h"
#include "port/demo_wiring.h"

namespace quorvel {

// The built-in cards. DEMO speaks at whatever rate the line is set to. DEMF (fast) offers
// Fi=512, Di=32 in TA1 and takes a PPS request for them; it speaks at its own rate only,
// the reader's clock x Di / Fi, at 12 etu a character.
enum class DemoCardModel { kDemo, kFast };

// A virtual reader with a card in it, behind the port names DEMO and DEMF. Like the real
// wiring, every byte written comes back as an echo; an RTS pulse (raise, then drop) resets
// the card, which answers with its ATR and then speaks T=0. Bytes become readable one
// character time apart, by the clock's time, so with a clock that only counts waits a whole
// session runs at once. DEMO's characters take the applied line settings' time. DEMF's take
// 12 etu at its own rate, and while the line's rate is more than 2 % off that rate the
// card neither hears the bytes written nor is heard: its characters would be garbled.
class DemoCard final : public DemoWiring {
 public:
  // The card runs the demo card's application unless given another.
  explicit DemoCard(Clock& clock, DemoCardModel model = DemoCardModel::kDemo,
                    std::uint32_t readerClockHz = kDefaultReaderClockHz,
                    std::unique_ptr<CardApplication> application = nullptr);

 private:
  enum class Phase { Silent, Header, Data, Pps };

  void HoldInReset() override { phase_ = Phase::Silent; }
  void StartAfterReset() override { Reset(); }
  void CardReceives(std::uint8_t byte) override;
  // The card's own bytes: DEMO's at the line's character time; DEMF's at its own, and lost to
  // the reader when the line's rate is not the card's.
  void CardSends(const std::uint8_t* bytes, std::size_t count);
  // DEMF: whether the line runs near enough the card's rate for characters to pass.
  bool RateAgrees() const;
  void Reset();
  void HeaderComplete();
  void PpsComplete();

  DemoCardModel model_;
  std::uint32_t readerClockHz_;

  Phase phase_ = Phase::Silent;  // no answer until the first reset
  std::uint8_t fiDi_ = 0x11;     // DEMF: the Fi and Di it speaks with, as in TA1 or PPS1
  bool ppsAllowed_ = false;      // DEMF: nothing but the ATR has crossed the line yet
  std::uint8_t pps_[6] = {};     // DEMF: the PPS request so far
  std::size_t ppsCount_ = 0;
  std::uint8_t header_[5] = {};
  std::size_t headerCount_ = 0;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> answer_;
  std::unique_ptr<CardApplication> commands_;
};

}  // namespace quorvel
