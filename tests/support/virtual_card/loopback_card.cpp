#include "support/virtual_card/loopback_card.h"

namespace quorvel::testing {
namespace {

constexpr std::size_t kLongestAnswer = 256;

std::size_t AnswerLength(const std::uint8_t (&header)[5]) {
  return static_cast<std::size_t>(header[2]) << 8 | header[3];
}

}  // namespace

std::optional<std::uint16_t> LoopbackCard::Refusal(const std::uint8_t (&header)[5]) {
  if (AnswerLength(header) > kLongestAnswer) return 0x6A86;  // wrong P1 P2 (ISO/IEC 7816-4)
  return std::nullopt;
}

void LoopbackCard::Run(const std::uint8_t (&header)[5], std::span<const std::uint8_t> data,
                       std::vector<std::uint8_t>& answer) {
  answer.insert(answer.end(), data.begin(), data.end());
  for (std::size_t i = 0; i < AnswerLength(header); ++i) {
    answer.push_back(static_cast<std::uint8_t>(i));
  }
  answer.push_back(0x90);
  answer.push_back(0x00);
}

}  // namespace quorvel::testing
