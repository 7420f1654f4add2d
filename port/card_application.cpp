#include "port/card_application.h"

#include <algorithm>

namespace quorvel {
namespace {

constexpr std::uint8_t kGetResponse = 0xC0;
constexpr std::uint8_t kMoreData = 0x61;

std::vector<std::uint8_t> StatusWord(std::uint16_t sw) {
  return {static_cast<std::uint8_t>(sw >> 8), static_cast<std::uint8_t>(sw)};
}

std::vector<std::uint8_t> RunHeader(CardApplication& card, const std::uint8_t (&header)[5],
                                    std::span<const std::uint8_t> data) {
  if (const auto refusal = card.Refusal(header)) return StatusWord(*refusal);
  std::vector<std::uint8_t> answer;
  card.Run(header, card.TakesData(header) ? data : std::span<const std::uint8_t>{}, answer);
  return answer;
}

}  // namespace

std::vector<std::uint8_t> AnswerApdu(CardApplication& card, std::span<const std::uint8_t> apdu) {
  constexpr std::uint16_t kWrongLength = 0x6700;
  if (apdu.size() < 4) return StatusWord(kWrongLength);
  std::uint8_t header[5] = {apdu[0], apdu[1], apdu[2], apdu[3], 0};
  if (apdu.size() == 4) return RunHeader(card, header, {});
  const std::size_t p3 = apdu[4];
  if (apdu.size() == 5) {  // case 2, or a case 3 command with Lc = 0 written short
    header[4] = apdu[4];
    return RunHeader(card, header, {});
  }
  const bool caseFour = apdu.size() == 6 + p3;
  if (p3 == 0 || (apdu.size() != 5 + p3 && !caseFour)) return StatusWord(kWrongLength);
  header[4] = apdu[4];
  std::vector<std::uint8_t> answer = RunHeader(card, header, apdu.subspan(5, p3));
  if (!caseFour || answer.size() != 2 || answer[0] != kMoreData) return answer;
  // The card keeps its answer for GET RESPONSE: fetch it as the reader's protocol would.
  const std::size_t le = apdu.back() == 0 ? 256 : apdu.back();
  const std::size_t waiting = answer[1] == 0 ? 256 : answer[1];
  const std::uint8_t fetch[5] = {static_cast<std::uint8_t>(apdu[0] & 0x03), kGetResponse, 0, 0,
                                 static_cast<std::uint8_t>(std::min(le, waiting))};
  return RunHeader(card, fetch, {});
}

}  // namespace quorvel
