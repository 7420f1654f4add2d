// `quorvel --run` of 200 READ BINARY of 32 bytes on the demo card at its real character
// timing, as it is, with --trace (a pcap file), with --gsmtap (live to 127.0.0.1:4729, where
// nobody needs to listen) and with both. Target: each traced run within 1 % of the run
// without traces (mode 0), whose time is almost all the line's.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "port/system_device_factory.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

constexpr int kCommands = 200;

void BM_TracedRunOfReadBinaryOnTheDemoCard(benchmark::State& state) {
  const int mode = static_cast<int>(state.range(0));  // bit 0: --trace, bit 1: --gsmtap
  std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::filesystem::path folder = pattern;
  const std::string script = (folder / "reads.txt").string();
  {
    std::ofstream out(script);
    out << "reset settings DEMO: baud=9600 parity=E data=8 stop=2\n"
           "execute settings DEMO: baud=9600 parity=E data=8 stop=2\n"
           "00 A4 00 0C 02 > 7F 10\n"
           "00 A4 00 0C 02 > 6F 01\n";
    for (int i = 0; i < kCommands; ++i) out << "00 B0 00 00 20\n";
  }
  CommandLine line;
  line.mode = CommandLineMode::kRun;
  line.file = script;
  line.log = false;
  if (mode & 1) line.traceFile = (folder / "reads.pcap").string();
  if (mode & 2) line.gsmtap = GsmtapTarget{"127.0.0.1", 4729};

  SystemClock clock;
  SystemDeviceFactory devices({}, clock);
  testing::RecordingMessageSink messages;
  for (auto _ : state) {
    std::ostringstream rows;
    CheckedOutput out(rows, messages);
    const int status = RunBatch(line, BatchServices{devices, clock, messages, out});
    if (status != kExitCompleted) state.SkipWithError("the run did not complete");
  }
  std::filesystem::remove_all(folder);
  state.SetLabel(mode == 0 ? "no trace" : mode == 1 ? "--trace" : mode == 2 ? "--gsmtap" : "both");
}
BENCHMARK(BM_TracedRunOfReadBinaryOnTheDemoCard)
    ->DenseRange(0, 3)
    ->ArgName("mode")
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
