#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvel {

// What a virtual card does with the commands it is given, whatever carries them: the demo
// cards' T=0 line, a T=1 block or a PC/SC reader. The split into refusal, data and run is
// the one T=0 needs (ISO/IEC 7816-3 clause 10): the card decides on the header alone
// whether it takes the command and whether data follows it.
class CardApplication {
 public:
  virtual ~CardApplication() = default;

  // Back to the state after a reset: nothing selected, no PIN verified.
  virtual void Reset() = 0;
  // The status word the card answers at once, in place of the procedure byte, or none when it
  // takes the command.
  virtual std::optional<std::uint16_t> Refusal(const std::uint8_t (&header)[5]) = 0;
  // Whether P3 data bytes go to the card after the procedure byte.
  virtual bool TakesData(const std::uint8_t (&header)[5]) const = 0;
  // Runs a command that was taken: appends what the card sends after the procedure byte
  // (its data, then SW1 SW2) to answer.
  virtual void Run(const std::uint8_t (&header)[5], std::span<const std::uint8_t> data,
                   std::vector<std::uint8_t>& answer) = 0;
};

// A whole command APDU of ISO/IEC 7816-4 (case 1: CLA INS P1 P2; case 2: and Le; case 3:
// Lc and the data; case 4: and Le after the data) answered as a card that receives it in
// one piece does (T=1, a PC/SC reader): the response data, then SW1 SW2. A case 4 command
// whose answer waits behind 61 XX gets it at once, as GET RESPONSE would, up to Le bytes
// (00: 256); a case 2 command answered 6C XX is not run again. An APDU of another length
// (extended lengths included) is answered 67 00.
std::vector<std::uint8_t> AnswerApdu(CardApplication& card, std::span<const std::uint8_t> apdu);

}  // namespace quorvel
