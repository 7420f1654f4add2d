#include "support/virtual_card/virtual_card.h"

namespace quorvel::testing {
namespace {

enum VpcdControl : std::uint8_t { kPowerOff = 0, kPowerOn = 1, kReset = 2, kGetAtr = 4 };

}  // namespace

std::vector<std::uint8_t> VirtualCardAtr(OfferedProtocols protocols,
                                         std::string_view historical12) {
  std::vector<std::uint8_t> atr = protocols == OfferedProtocols::kT0AndT1
                                      ? std::vector<std::uint8_t>{0x3B, 0x8C, 0x80, 0x01}
                                      : std::vector<std::uint8_t>{0x3B, 0x8C, 0x01};
  atr.insert(atr.end(), historical12.begin(), historical12.end());
  std::uint8_t check = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) check ^= atr[i];
  atr.push_back(check);
  return atr;
}

VirtualCard::VirtualCard(std::vector<std::uint8_t> atr,
                         std::unique_ptr<CardApplication> application)
    : atr_(std::move(atr)), application_(std::move(application)) {}

std::optional<std::vector<std::uint8_t>> VirtualCard::Answer(
    std::span<const std::uint8_t> message) {
  if (message.size() != 1) return AnswerApdu(*application_, message);
  switch (message[0]) {
    case kPowerOff:
    case kPowerOn:
    case kReset:
      application_->Reset();
      return std::nullopt;
    case kGetAtr:
      return atr_;
    default:
      return std::nullopt;
  }
}

}  // namespace quorvel::testing
