// Explaining status words, ISO/IEC 7816-4 and GSM 11.11 ones, known and unknown.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "iso7816/status_words.h"

namespace quorvel {
namespace {

struct Word {
  std::uint8_t cla, sw1, sw2;
};

constexpr Word kWords[] = {{0x00, 0x90, 0x00}, {0x00, 0x61, 0x10}, {0x00, 0x6A, 0x82},
                           {0x00, 0x63, 0xC2}, {0xA0, 0x9F, 0x1A}, {0xA0, 0x98, 0x04},
                           {0x00, 0x9F, 0x1A}, {0x00, 0x12, 0x34}};

void BM_ExplainStatusWord(benchmark::State& state) {
  std::size_t next = 0;
  for (auto _ : state) {
    const Word& word = kWords[next];
    const std::string text = ExplainStatusWord(word.sw1, word.sw2, 2, word.cla);
    benchmark::DoNotOptimize(text.data());
    next = (next + 1) % std::size(kWords);
  }
}
BENCHMARK(BM_ExplainStatusWord);

}  // namespace
}  // namespace quorvel
