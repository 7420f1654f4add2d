// Decoding ATRs: the whole explanation of a real card's ATR, and the length check the
// command line makes after every byte of a reset.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "iso7816/atr.h"

namespace quorvel {
namespace {

// Long ATRs with many interface bytes and compact-TLV historical bytes: the most work.
const std::vector<std::vector<std::uint8_t>>& Atrs() {
  static const std::vector<std::vector<std::uint8_t>> atrs = {
      {0x3B, 0x9F, 0x95, 0x80, 0x1F, 0xC7, 0x80, 0x31, 0xE0, 0x73, 0xFE,
       0x21, 0x1B, 0x63, 0xE2, 0x08, 0xA8, 0x83, 0x0F, 0x90, 0x00, 0x89},
      {0x3B, 0xFF, 0x96, 0x00, 0x00, 0x81, 0x31, 0xFE, 0x43, 0x80, 0x31, 0x80, 0x65,
       0xB0, 0x85, 0x04, 0x01, 0x20, 0x12, 0x0F, 0xFF, 0x82, 0x90, 0x00, 0xD0},
      {0x3B, 0xD5, 0x18, 0xFF, 0x80, 0x91, 0xFE, 0x1F, 0xC3, 0x80, 0x73, 0xC8, 0x21, 0x13, 0x08},
      {0x3B, 0x6C, 0x00, 0x00, 0x51, 0x55, 0x4F, 0x52, 0x56, 0x45, 0x4C, 0x20, 0x44, 0x45, 0x4D,
       0x4F},
  };
  return atrs;
}

void BM_DecodeAtr(benchmark::State& state) {
  std::size_t next = 0;
  for (auto _ : state) {
    const AtrDescription description = DecodeAtr(Atrs()[next]);
    benchmark::DoNotOptimize(description.items.data());
    next = (next + 1) % Atrs().size();
  }
}
BENCHMARK(BM_DecodeAtr)->Unit(benchmark::kMicrosecond);

void BM_DecodeAndRenderAtr(benchmark::State& state) {
  std::size_t next = 0;
  for (auto _ : state) {
    const std::string text = RenderAtr(DecodeAtr(Atrs()[next]));
    benchmark::DoNotOptimize(text.data());
    next = (next + 1) % Atrs().size();
  }
}
BENCHMARK(BM_DecodeAndRenderAtr)->Unit(benchmark::kMicrosecond);

void BM_CompleteAtrLength(benchmark::State& state) {
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CompleteAtrLength(Atrs()[next]));
    next = (next + 1) % Atrs().size();
  }
}
BENCHMARK(BM_CompleteAtrLength);

}  // namespace
}  // namespace quorvel
