// `quorvel --run` as the command line runs it (RunBatch: the script read, the card reset, the
// rows shown, JSON lines written), at the demo cards' real character timing: 200 READ BINARY
// of 255 bytes from DEM1 in T=1, and for comparison from DEMF in the described T=0, each at
// 9600 baud and after PPS (Fi=512, Di=32: 223200 baud at 3.5712 MHz). A run of the two
// SELECTs alone is timed too, and taken off, so what is left is the 200 reads.
//
// Their line time, every character 12 etu at the line's rate:
// - T=1: the echo of the command's I-block (9 characters), the card's two blocks at IFSD 254
//   (258 and 7) and the echo of the R-block between them (4). At each of the two turns to
//   the card, it starts its block when 22 etu (BGT) have passed since the leading edge of
//   the last character, 10 etu after its end; Quorvel waits BGT after the end of the card's
//   last character before each of its two blocks. 278 x 12 + 2 x 10 + 2 x 22 etu.
// - T=0: the header's echo, the procedure byte, 255 data bytes and the status word, 263
//   characters.
// Target: within 5 % plus 1 ms a command of the line time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "cli/stream_message_sink.h"
#include "port/clock.h"
#include "port/system_device_factory.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

constexpr int kCommands = 200;
constexpr double kT1EtuPerCommand = 278 * 12.0 + 2 * 10.0 + 2 * 22.0;
constexpr double kT0EtuPerCommand = 263 * 12.0;
constexpr const char* kSelects = "00 A4 00 0C 02 > 7F 10 (90 00)\n00 A4 00 0C 02 > 6F 03 (90 00)\n";

// A folder of its own with the two scripts: the SELECTs alone, and with the reads after them.
struct Scripts {
  Scripts() : folder(fs::temp_directory_path() / ("quorvel-bench-" + std::to_string(::getpid()))) {
    fs::create_directories(folder);
    std::ofstream(folder / "selects.txt") << kSelects;
    std::ofstream reads(folder / "reads.txt");
    reads << kSelects;
    for (int i = 0; i < kCommands; ++i) reads << "00 B0 00 00 FF (90 00)\n";
  }
  ~Scripts() { fs::remove_all(folder); }
  fs::path folder;
};

// One --run of `script`: its wall time, or a negative one when it did not end with status 0.
double TimedRun(const fs::path& script, const char* port, bool pps, std::string& out) {
  std::vector<std::string> arguments = {"--run",    script.string(), "--port", port,
                                        "--no-log", "--format",      "jsonl"};
  if (pps) arguments.push_back("--pps");
  const CommandLine line = ParseCommandLine(arguments);
  SystemClock clock;
  SystemDeviceFactory devices({}, clock);
  testing::RecordingMessageSink messages;
  std::ostringstream stream;
  CheckedOutput output(stream, messages);
  const auto began = std::chrono::steady_clock::now();
  const int status = RunBatch(line, {devices, clock, messages, output});
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
  out = stream.str();
  return status == 0 ? took.count() : -1.0;
}

void TimeReads(benchmark::State& state, const char* port, double etuPerCommand) {
  const bool pps = state.range(0) == 1;
  const Scripts scripts;
  std::string out;
  for (auto _ : state) {
    const double selects = TimedRun(scripts.folder / "selects.txt", port, pps, out);
    const double all = TimedRun(scripts.folder / "reads.txt", port, pps, out);
    if (selects < 0 || all < 0) {
      state.SkipWithError("the run did not complete every command as expected");
      return;
    }
    state.SetIterationTime(all - selects);
  }
  // The Reset's JSON object names the rate after PPS.
  const double baud = out.find("\"baud\": 223200") != std::string::npos ? 223200 : 9600;
  const double lineMs = kCommands * etuPerCommand * 1000.0 / baud;
  state.counters["baud"] = baud;
  state.counters["line_ms"] = lineMs;
  state.counters["target_ms"] = lineMs * 1.05 + kCommands * 1.0;
}

void BM_RunT1ReadsOnDem1(benchmark::State& state) {
  TimeReads(state, "DEM1", kT1EtuPerCommand);
}
BENCHMARK(BM_RunT1ReadsOnDem1)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("pps")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_RunT0ReadsOnDemf(benchmark::State& state) {
  TimeReads(state, "DEMF", kT0EtuPerCommand);
}
BENCHMARK(BM_RunT0ReadsOnDemf)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("pps")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
