// Matching an ATR against a list of 20,000 cards in the system list's format: the first
// question reads and indexes the file, later ones only match.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "iso7816/atr_list.h"

namespace quorvel {
namespace {

constexpr int kEntries = 20000;

// A generated list file, removed when the benchmarks end.
class GeneratedList {
 public:
  GeneratedList() {
    path_ = std::filesystem::temp_directory_path() /
            ("quorvel-bench-smartcard-list-" + std::to_string(getpid()) + ".txt");
    std::ofstream out(path_, std::ios::binary);
    out << "#\n# Generated list of known cards\n#\n\n";
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0xFF; };
    constexpr char kDigits[] = "0123456789ABCDEF";
    for (int entry = 0; entry < kEntries; ++entry) {
      // Lengths from 4 to 33 bytes like real ATRs, some bytes left open with "..".
      const int length = 4 + static_cast<int>(next() % 30);
      out << (entry % 10 == 9 ? "3F" : "3B");
      for (int i = 1; i < length; ++i) {
        const unsigned byte = next();
        if (byte % 12 == 0) {
          out << " ..";
        } else {
          out << ' ' << kDigits[byte >> 4] << kDigits[byte & 0x0F];
        }
      }
      out << "\n\tGenerated card number " << entry << " (Other)\n";
      if (entry % 3 == 0) out << "\thttps://cards.example.org/" << entry << "\n";
      out << "\n";
    }
  }
  ~GeneratedList() { std::filesystem::remove(path_); }

  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

const GeneratedList& List() {
  static const GeneratedList list;
  return list;
}

// Demo card's ATR: no pattern of the list matches it, so every entry of its length is tried.
const std::vector<std::uint8_t> kAtr = {0x3B, 0x6C, 0x00, 0x00, 0x51, 0x55, 0x4F, 0x52,
                                        0x56, 0x45, 0x4C, 0x20, 0x44, 0x45, 0x4D, 0x4F};

void BM_AtrListFirstMatch(benchmark::State& state) {
  const std::string path = List().Path();
  for (auto _ : state) {
    const AtrList list(path);
    benchmark::DoNotOptimize(list.Find(kAtr).size());
  }
}
BENCHMARK(BM_AtrListFirstMatch)->Unit(benchmark::kMillisecond);

void BM_AtrListLaterMatch(benchmark::State& state) {
  const AtrList list(List().Path());
  if (list.Size() != kEntries) state.SkipWithError("the generated list did not load whole");
  for (auto _ : state) benchmark::DoNotOptimize(list.Find(kAtr).size());
}
BENCHMARK(BM_AtrListLaterMatch)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvel
