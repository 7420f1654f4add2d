// Filling the command list the way Edit and Load do: one record and one list
// entry per command.
#include <benchmark/benchmark.h>

#include <cstring>

#include "commands/command_list.h"
#include "support/fake_controls.h"

namespace quorvel {
namespace {

void BM_CommandListAppend(benchmark::State& state) {
  const auto count = static_cast<int>(state.range(0));
  CardCommand sample = NewCardCommand();
  std::strcpy(sample.comment, "Select the master file");
  sample.header[1] = 0xA4;
  for (auto _ : state) {
    testing::FakeListBox listBox;
    listBox.AddString("New Command");
    CommandList commands(listBox);
    for (int i = 0; i < count; ++i) commands.Append(std::make_unique<CardCommand>(sample));
    benchmark::DoNotOptimize(listBox.entries.data());
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_CommandListAppend)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
