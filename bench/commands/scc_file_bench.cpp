// Encoding and decoding an SCC file of 10,000 commands (about 6 MB).
#include <benchmark/benchmark.h>

#include <cstring>

#include "commands/scc_file.h"

namespace quorvel {
namespace {

constexpr int kCommands = 10000;

SccSettings Settings() {
  SccSettings settings{};
  std::strcpy(settings.logFileName, "test.txt");
  std::strcpy(settings.executeSettings, "COM2: baud=9600 parity=E data=8 stop=2");
  std::strcpy(settings.resetSettings, "COM2: baud=9600 parity=E data=8 stop=2");
  settings.reservedWord = 2;
  return settings;
}

std::vector<std::unique_ptr<CardCommand>> Commands() {
  std::vector<std::unique_ptr<CardCommand>> commands;
  for (int i = 0; i < kCommands; ++i) {
    auto command = std::make_unique<CardCommand>(NewCardCommand());
    std::snprintf(command->comment, sizeof command->comment, "command %d", i);
    commands.push_back(std::move(command));
  }
  return commands;
}

void BM_SccEncode(benchmark::State& state) {
  const SccSettings settings = Settings();
  const auto commands = Commands();
  for (auto _ : state) {
    auto bytes = EncodeScc(settings, commands);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(kSccHeaderSize + kSccRecordSize * kCommands));
}
BENCHMARK(BM_SccEncode)->Unit(benchmark::kMillisecond);

void BM_SccDecode(benchmark::State& state) {
  const auto bytes = EncodeScc(Settings(), Commands());
  for (auto _ : state) {
    auto result = DecodeScc(bytes);
    benchmark::DoNotOptimize(result.records.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_SccDecode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
