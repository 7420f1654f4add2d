// Rendering received bytes as output rows: 100,000 full rows.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "card/hex_rows.h"

namespace quorvel {
namespace {

void BM_HexRow(benchmark::State& state) {
  const auto rows = static_cast<std::size_t>(state.range(0));
  std::vector<std::uint8_t> bytes(rows * kBytesPerHexRow);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  for (auto _ : state) {
    std::size_t length = 0;
    for (std::size_t row = 0; row < rows; ++row) {
      const std::string text = HexRow(bytes.data() + row * kBytesPerHexRow, kBytesPerHexRow);
      length += text.size();
    }
    benchmark::DoNotOptimize(length);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rows));
}
BENCHMARK(BM_HexRow)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
