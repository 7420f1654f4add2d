// `quorvel --run` (RunBatch, in-process, rows to memory) of 200 READ BINARY through pcscd and
// vpcd's virtual reader, against the floor: SCardTransmit alone in a loop on the same virtual
// card, with the same command. The card is the loopback virtual card in "Virtual PCD 00 01"
// (PCS1), which answers P1 P2 bytes: `00 B0 00 20 20` brings 32, `00 B0 01 00 00` 256 (the
// demo card's longest file has 255). A run's own Reset is left out by timing a run of 201
// commands against one of 1. Target: the 200 commands within 10 % of the floor, by the
// medians of the rounds.
#include <winscard.h>

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "pcsc/reader_listing.h"
#include "port/system_device_factory.h"
#include "support/recording_message_sink.h"
#include "support/virtual_card_process.h"

namespace quorvel {
namespace {

constexpr int kCommands = 200;
using Milliseconds = std::chrono::duration<double, std::milli>;

std::vector<std::uint8_t> ReadBinary(std::int64_t length) {
  // The loopback card answers P1 P2 counting bytes.
  return {0x00, 0xB0, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
          static_cast<std::uint8_t>(length)};
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

// SCardTransmit of `read`, `count` times, on a connection of its own; -1 when it failed.
double FloorMs(bool t1, const std::vector<std::uint8_t>& read, int count) {
  SCARDCONTEXT context = 0;
  SCARDHANDLE card = 0;
  DWORD active = 0;
  const DWORD protocol = t1 ? SCARD_PROTOCOL_T1 : SCARD_PROTOCOL_T0;
  double took = -1;
  if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) == SCARD_S_SUCCESS) {
    if (SCardConnect(context, testing::kTestCardReader, SCARD_SHARE_EXCLUSIVE, protocol, &card,
                     &active) == SCARD_S_SUCCESS &&
        SCardReconnect(card, SCARD_SHARE_EXCLUSIVE, protocol, SCARD_UNPOWER_CARD, &active) ==
            SCARD_S_SUCCESS) {
      std::vector<BYTE> answer(MAX_BUFFER_SIZE_EXTENDED);
      const auto began = std::chrono::steady_clock::now();
      bool failed = false;
      for (int i = 0; i < count && !failed; ++i) {
        DWORD length = static_cast<DWORD>(answer.size());
        failed = SCardTransmit(card, t1 ? SCARD_PCI_T1 : SCARD_PCI_T0, read.data(),
                               static_cast<DWORD>(read.size()), nullptr, answer.data(),
                               &length) != SCARD_S_SUCCESS ||
                 length != read[4] + (read[4] == 0 ? 258u : 2u);
      }
      if (!failed) took = Milliseconds(std::chrono::steady_clock::now() - began).count();
      SCardDisconnect(card, SCARD_UNPOWER_CARD);
    }
    SCardReleaseContext(context);
  }
  return took;
}

// RunBatch of a script of `count` reads on PCS1, as `quorvel --run` makes it; -1 when it failed.
double RunMs(const std::string& script, const std::string& settings, BatchServices services) {
  CommandLine line;
  line.mode = CommandLineMode::kRun;
  line.file = script;
  line.log = false;
  line.settings = settings;
  const auto began = std::chrono::steady_clock::now();
  const int status = RunBatch(line, services);
  const double took = Milliseconds(std::chrono::steady_clock::now() - began).count();
  return status == kExitCompleted ? took : -1;
}

void BM_PcscRunAgainstTheTransmitFloor(benchmark::State& state) {
  if (std::getenv("PCSCLITE_CSOCK_NAME") == nullptr) {
    state.SkipWithError("needs the tests' own pcscd: run through ./bench.sh");
    return;
  }
  const bool t1 = state.range(1) == 1;
  const std::vector<std::uint8_t> read = ReadBinary(state.range(0));
  auto card = std::make_unique<testing::VirtualCardProcess>(std::vector<std::string>{"--loopback"});
  PcscContext context;
  if (!card->WaitFor("ready") || context.Establish() ||
      WaitForPcscCard(context, testing::kTestCardReader, true, std::chrono::seconds(10))) {
    state.SkipWithError("the loopback card is not in the second reader");
    return;
  }
  std::string folder = (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string one = folder + "/one.txt", all = folder + "/all.txt";
  std::ofstream(one) << Hex(read) << '\n';
  {
    std::ofstream out(all);
    for (int i = 0; i <= kCommands; ++i) out << Hex(read) << '\n';
  }
  const std::string settings = std::string("PCS1: proto=") + (t1 ? "t1" : "t0");
  SystemClock clock;
  SystemDeviceFactory devices({}, clock);
  testing::RecordingMessageSink messages;
  std::vector<double> floors, alls, ones;
  bool floorFirst = true;  // taken in turns, so neither gains from going first
  for (auto _ : state) {
    std::ostringstream rows;
    CheckedOutput out(rows, messages);
    const BatchServices services{devices, clock, messages, out};
    double floorMs = floorFirst ? FloorMs(t1, read, kCommands) : 0;
    const double allMs = RunMs(all, settings, services);
    const double oneMs = RunMs(one, settings, services);
    if (!floorFirst) floorMs = FloorMs(t1, read, kCommands);
    floorFirst = !floorFirst;
    if (floorMs < 0 || allMs < 0 || oneMs < 0) {
      state.SkipWithError("a READ BINARY failed");
      break;
    }
    floors.push_back(floorMs);
    alls.push_back(allMs);
    ones.push_back(oneMs);
  }
  std::filesystem::remove_all(folder);
  // The next card goes in once pcscd has seen this one go.
  card.reset();
  WaitForPcscCard(context, testing::kTestCardReader, false, std::chrono::seconds(10));
  if (floors.empty()) return;
  // Medians: the machine's other work slows single rounds, either side.
  const auto median = [](std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
  };
  const double floor = median(floors), run = median(alls) - median(ones);
  state.counters["floor_ms"] = floor;
  state.counters["run_ms"] = run;
  state.counters["whole_run_ms"] = median(alls);
  state.counters["run_to_floor"] = run / floor;
  state.counters["target"] = 1.10;
}
BENCHMARK(BM_PcscRunAgainstTheTransmitFloor)
    ->ArgsProduct({{32, 256}, {0, 1}})
    ->ArgNames({"bytes", "t1"})
    ->Iterations(30)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
