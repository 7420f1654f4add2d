// Reading and writing a command script of 10,000 commands as text, and the round trip
// of the same list from the SCC layout through text and back.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include "commands/script_reader.h"
#include "commands/script_scc.h"
#include "commands/script_writer.h"

namespace quorvel {
namespace {

constexpr int kCommands = 10000;

// SELECT with its data, then READ BINARY of 16 bytes with the answer it expects.
CommandScript Script() {
  CommandScript script;
  script.steps.emplace_back();  // a Reset first
  for (int i = 0; i < kCommands; ++i) {
    ScriptStep& step = script.steps.emplace_back();
    step.command = std::make_unique<CardCommand>(NewCardCommand());
    CardCommand& command = *step.command;
    const bool select = i % 2 == 0;
    const std::uint8_t header[5] = {0x00, static_cast<std::uint8_t>(select ? 0xA4 : 0xB0), 0x00,
                                    0x00, static_cast<std::uint8_t>(select ? 2 : 16)};
    std::memcpy(command.header, header, 5);
    command.direction = select ? kToCard : kFromCard;
    command.data[0] = 0x2F;
    command.data[1] = static_cast<std::uint8_t>(i);
    std::snprintf(command.comment, sizeof command.comment, "%s %d", select ? "select" : "read", i);
    step.expect.statusWords.push_back({{0x90, 0xFF}, {0x00, 0xFF}});
    if (!select) step.expect.data.emplace(16, BytePattern{0x00, 0xF0});
  }
  return script;
}

void BM_ScriptWrite(benchmark::State& state) {
  const CommandScript script = Script();
  for (auto _ : state) {
    std::string text = WriteScriptText(script);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * kCommands);
}
BENCHMARK(BM_ScriptWrite)->Unit(benchmark::kMillisecond);

void BM_ScriptRead(benchmark::State& state) {
  const std::string text = WriteScriptText(Script());
  for (auto _ : state) {
    ScriptReadResult read = ReadScriptText(text, "bench.txt");
    benchmark::DoNotOptimize(read.script->steps.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ScriptRead)->Unit(benchmark::kMillisecond);

void BM_ScriptSccRoundTrip(benchmark::State& state) {
  const std::vector<std::uint8_t> scc = EncodeScriptScc(Script());
  for (auto _ : state) {
    const SccScriptResult script = ScriptFromScc(scc);
    const ScriptReadResult read = ReadScriptText(WriteScriptText(script.script), "bench.txt");
    std::vector<std::uint8_t> back = EncodeScriptScc(*read.script);
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(scc.size()));
}
BENCHMARK(BM_ScriptSccRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
