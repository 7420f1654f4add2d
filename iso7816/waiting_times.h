#pragma once

#include <chrono>
#include <cstdint>

#include "iso7816/t1_parameters.h"

namespace quorvel {

// The times of T=1 (ISO/IEC 7816-3 clause 11.4.3) on a line running at `baud` (one etu is
// 1 / baud s) for a card fed a clock of clockHz.
struct T1Times {
  std::chrono::nanoseconds etu{0};
  // CGT: from one character's leading edge to the next in the same direction, 12 etu + N
  // (TC1); 11 etu when N = 255.
  std::chrono::nanoseconds characterGuard{0};
  // BGT: between the leading edges of two characters sent in opposite directions, 22 etu.
  std::chrono::nanoseconds blockGuard{0};
  // BWT: from the last character of a block sent to the card to the first of its answer,
  // 11 etu + 2^BWI x 960 x 372 / f.
  std::chrono::nanoseconds blockWaiting{0};
  // CWT: between two characters of one block, (11 + 2^CWI) etu.
  std::chrono::nanoseconds characterWaiting{0};
};

T1Times T1TimesAt(const T1Parameters& parameters, std::uint32_t clockHz, std::uint32_t baud);

// The work waiting time of T=0 (ISO/IEC 7816-3 clause 10.2): at most this long between the
// leading edges of a character the card receives or sends and the next one it sends,
// 960 x WI x Fi / f. WI comes from TC2 (10 without it), Fi is the one in use.
std::chrono::nanoseconds T0WorkWaitingTime(std::uint8_t waitingInteger, unsigned fi,
                                           std::uint32_t clockHz);

}  // namespace quorvel
