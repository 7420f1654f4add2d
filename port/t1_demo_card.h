#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "iso7816/t1_block.h"
#include "iso7816/transmission_rate.h"
#include "port/card_application.h"
#include "port/clock.h"
#include "port/demo_wiring.h"

namespace quorvel {

// Faults DEM1 makes when told to, by a test or by the command 80 FA (port/DEMO_CARD.md).
struct T1DemoFaults {
  unsigned wrongLrcBlocks = 0;  // the next blocks the card sends carry a wrong LRC
  unsigned lostByteBlocks = 0;  // the next blocks the card sends each lose one byte
  // Before the next answer, S(WTX request) with this multiplier; the answer then takes
  // three quarters of the time granted. 0: none.
  std::uint8_t waitingTimeExtension = 0;
  bool silent = false;  // the card hears and sends nothing until the next reset
};

// DEM1, the built-in T=1 card: the demo card's files and commands (through AnswerApdu),
// spoken in T=1 blocks only (ISO/IEC 7816-3 clause 11) with IFSC 32 and the LRC. Like the
// other demo cards it sits behind the reader's wiring, so every byte written comes back as
// an echo, and an RTS pulse resets it. Its ATR offers TA1 = 96: right after it, a PPS
// request for T=1 with PPS1 = 96 moves it to Fi=512, Di=32. Its characters take 12 etu at
// its own rate, and while the line runs more than 2 % off that rate the card neither hears
// nor is heard. Bytes become readable by the clock's time, so a clock that only counts waits
// runs a whole session at once.
class T1DemoCard final : public DemoWiring {
 public:
  explicit T1DemoCard(Clock& clock, std::uint32_t readerClockHz = kDefaultReaderClockHz,
                      std::unique_ptr<CardApplication> application = nullptr);

  T1DemoFaults& faults() { return faults_; }
  // The ATR DEM1 answers every reset with.
  static std::span<const std::uint8_t> AnswerToReset();

 private:
  enum class Phase { kSilent, kBlocks, kPps };

  void HoldInReset() override { phase_ = Phase::kSilent; }
  void StartAfterReset() override { Reset(); }
  // Heard only while the line runs at the card's rate.
  void CardReceives(std::uint8_t byte) override;

  std::uint32_t CardRate() const;
  bool RateAgrees() const;
  std::chrono::nanoseconds Etus(std::uint64_t count) const;
  void Reset();
  void PpsComplete();
  void BlockReceived();
  void ReceivedIBlock(const T1Block& block);
  void ReceivedSBlock(const T1Block& block);
  void Execute(const std::vector<std::uint8_t>& apdu);
  bool ArmFault(const std::vector<std::uint8_t>& apdu);
  void StartAnswer(std::vector<std::uint8_t> answer, std::chrono::nanoseconds delay);
  void SendAnswerPiece(std::chrono::nanoseconds delay);
  // Sends a block a block guard time after the line is free, and keeps it for a resend.
  void SendBlock(const T1Block& block, std::chrono::nanoseconds delay = {});
  // Sends bytes as the faults make them.
  void Transmit(std::vector<std::uint8_t> bytes, std::chrono::nanoseconds delay);

  std::uint32_t readerClockHz_;

  Phase phase_ = Phase::kSilent;
  std::uint8_t fiDi_ = 0x11;
  bool ppsAllowed_ = false;
  std::vector<std::uint8_t> pps_;

  std::vector<std::uint8_t> rx_;  // the block coming in
  std::chrono::nanoseconds lastRxAt_{0};
  int sendSequence_ = 0;      // N(S) of the card's next I-block
  int expectedSequence_ = 0;  // N(S) due in the reader's next I-block
  unsigned ifsd_ = 32;
  std::vector<std::uint8_t> command_;        // the command APDU so far
  std::vector<std::uint8_t> answer_;         // the answer being sent
  std::size_t answerSent_ = 0;               // its bytes sent so far
  int lastAnswerSequence_ = 0;               // N(S) of the last I-block sent
  bool answerChained_ = false;               // the last I-block sent had M = 1
  std::vector<std::uint8_t> lastSent_;       // the last block sent, as it should have gone
  std::vector<std::uint8_t> waitingAnswer_;  // held while S(WTX) is answered
  std::uint8_t waitingMultiplier_ = 0;
  T1DemoFaults faults_;
  std::unique_ptr<CardApplication> commands_;
};

}  // namespace quorvel
