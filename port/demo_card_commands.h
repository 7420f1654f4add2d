#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "port/card_application.h"

namespace quorvel {

// The demo card's application layer: a small ISO/IEC 7816-4 card with a file tree
// (MF 3F00, EF 2FE2, DF 7F10 with EFs 6F01, 6F02 and 6F03), a PIN and a challenge generator.
// It decides on each header and runs the command once its data are in.
class DemoCardCommands final : public CardApplication {
 public:
  DemoCardCommands();

  void Reset() override;
  std::optional<std::uint16_t> Refusal(const std::uint8_t (&header)[5]) override;
  // VERIFY and UPDATE BINARY take data; everything else sends it.
  bool TakesData(const std::uint8_t (&header)[5]) const override;
  void Run(const std::uint8_t (&header)[5], std::span<const std::uint8_t> data,
           std::vector<std::uint8_t>& answer) override;

 private:
  enum class Access : std::uint8_t { Always, Pin, Never };
  struct File {
    std::uint16_t id;
    std::uint16_t parent;  // 0 for the MF
    bool dedicated;        // a DF (or the MF) rather than a transparent EF
    Access read;
    Access update;
    std::vector<std::uint8_t> content;
  };

  std::optional<std::uint16_t> RefusalFor(const std::uint8_t (&header)[5]) const;
  std::optional<std::uint16_t> Denied(Access access) const;
  const File* Find(std::uint16_t id) const;
  File* CurrentEf();
  const File* CurrentEf() const;
  std::uint16_t Select(std::uint16_t id);
  std::uint16_t Verify(std::span<const std::uint8_t> pin);
  std::vector<std::uint8_t> ControlParameters(const File& file) const;
  std::uint8_t NextRandomByte();

  std::vector<File> files_;
  std::uint16_t currentDf_;
  std::uint16_t currentEf_ = 0;  // 0: none selected
  int pinTriesLeft_;
  bool pinVerified_ = false;
  std::vector<std::uint8_t> pendingResponse_;  // for GET RESPONSE after 61xx
  std::uint32_t randomState_;
};

}  // namespace quorvel
