#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "port/card_application.h"
#include "sim/file_info.h"

namespace quorvel {

// A card that holds a SIM's or a UICC's files and answers as one: a GSM SIM in class A0
// with GSM 11.11 answers (9F XX, 94 04, 98 04...), or a UICC in class 00 with FCP templates
// (61 XX, 6A 82, 69 82...). It takes SELECT (by file id; by AID on a UICC), GET RESPONSE,
// READ BINARY, READ RECORD (absolute), STATUS (SIM) and VERIFY of PIN1/CHV1; it changes
// nothing but the PIN's state. The demo cards DEMS and DEMU are made of it.
class FileSystemCard final : public CardApplication {
 public:
  enum class Kind { kGsmSim, kUicc };
  enum class ReadAccess { kAlways, kPin1 };

  struct File {
    std::uint16_t id = 0;
    std::uint16_t parent = 0;                        // the directory's id; 0 for the MF
    std::vector<std::uint8_t> aid;                   // an ADF's name (its id is 7FFF)
    FileStructure structure = FileStructure::kNone;  // kNone for the MF, DFs and ADFs
    std::size_t recordLength = 0;
    ReadAccess read = ReadAccess::kAlways;
    std::vector<std::uint8_t> content;  // records one after the other
  };

  struct Pin1 {
    bool enabled = false;
    std::string value;  // digits, padded with FF to 8 bytes when compared
    int tries = 3;
  };

  FileSystemCard(Kind kind, std::vector<File> files, Pin1 pin1);

  // Back to the state after a reset: the MF selected, no EF, PIN1 not verified. The tries
  // left stay, as on a card.
  void Reset() override;
  std::optional<std::uint16_t> Refusal(const std::uint8_t (&header)[5]) override;
  // SELECT and VERIFY with data take data; everything else sends it.
  bool TakesData(const std::uint8_t (&header)[5]) const override;
  void Run(const std::uint8_t (&header)[5], std::span<const std::uint8_t> data,
           std::vector<std::uint8_t>& answer) override;

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  std::uint16_t Sw(std::uint16_t gsm, std::uint16_t uicc) const;
  std::optional<std::uint16_t> RefusalFor(const std::uint8_t (&header)[5]) const;
  std::optional<std::uint16_t> ReadRefusal(std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
                                           std::uint8_t p3) const;
  bool Readable(const File& file) const;
  std::size_t FindById(std::uint16_t id) const;
  std::size_t FindByAid(std::span<const std::uint8_t> aid) const;
  std::uint16_t Select(std::span<const std::uint8_t> data, bool byName, bool withAnswer);
  std::uint16_t Verify(std::span<const std::uint8_t> pin);
  std::vector<std::uint8_t> SelectAnswer(std::size_t index) const;
  std::vector<std::uint8_t> GsmAnswer(std::size_t index) const;
  std::vector<std::uint8_t> FcpAnswer(std::size_t index) const;
  std::size_t Children(std::uint16_t id, bool directories) const;

  Kind kind_;
  std::vector<File> files_;
  Pin1 pin1_;
  std::size_t currentDf_ = 0;
  std::size_t currentEf_ = kNone;
  bool pinVerified_ = false;
  std::vector<std::uint8_t> pendingResponse_;
};

}  // namespace quorvel
