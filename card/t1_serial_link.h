#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "card/paced_reader.h"
#include "card/t1_block_link.h"
#include "iso7816/t1_parameters.h"
#include "iso7816/waiting_times.h"
#include "port/card_port.h"
#include "port/clock.h"

namespace quorvel {

// T=1 blocks over the echoing serial line. A block goes out once the block guard time has
// passed since the card's last byte (its characters CGT apart when TC1 asks for more than
// the line's frame), and exactly as many echo bytes as were written are read back, each
// within a character's time: what follows them (the card's answer, often in the same read)
// stays for the reception. The block waiting time counts from the moment the echo of the
// block's last byte is seen; the card's characters each come within the character waiting
// time. Every deadline carries kSerialAdapterMargin and runs on the port's clock.
class T1SerialLink final : public T1BlockLink {
 public:
  // clockHz: the reader's clock; baud: the line's rate now, whose etu the times count.
  T1SerialLink(CCardPort& port, Clock& clock, const T1Parameters& parameters, std::uint32_t clockHz,
               std::uint32_t baud, std::function<bool()> stopRequested = {});

  // After a PPS: every time counted in etu follows the line's new rate.
  void SetLineRate(std::uint32_t baud);
  const T1Times& times() const { return times_; }

  T1Echo Send(std::span<const std::uint8_t> block) override;
  T1Reception Receive(unsigned waitingTimeFactor) override;

 private:
  // The most a character of ours takes on the line: CGT, or the frame of 12 etu at most.
  std::chrono::nanoseconds CharacterTime() const;
  void TakeTrailingBytes(std::vector<std::uint8_t>& bytes, std::chrono::nanoseconds gap);

  CCardPort& port_;
  Clock& clock_;
  T1Parameters parameters_;
  std::uint32_t clockHz_;
  T1Times times_;
  PacedReader reader_;
  std::chrono::nanoseconds lastCardByteAt_;  // the block guard time counts from here
  std::chrono::nanoseconds sentAt_;          // the block waiting time counts from here
};

}  // namespace quorvel
