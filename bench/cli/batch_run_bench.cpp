// A command-line run against the demo card at its real character timing: 200 READ
// BINARY commands of 32 bytes, with deadlines (--run) and with the fixed waits
// (--strict-timing), through the same card session and output panel the run uses.
// Wall time is compared with the pure line time, the character times of the bytes that
// cross the line: per command 5 header bytes (their echo), the procedure byte, 32 data
// bytes and 2 status bytes. Target with deadlines: within 5 % plus 1 ms per command of it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "card/card_session.h"
#include "card/output_panel.h"
#include "card/serial_channel.h"
#include "controls/windowless_controls.h"
#include "port/card_port.h"
#include "port/line_settings.h"
#include "port/settings_string.h"
#include "port/system_device_factory.h"
#include "support/card_commands.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

constexpr int kCommands = 200;
constexpr int kBytesPerCommand = 5 + 1 + 32 + 2;

using testing::MakeCommand;

std::chrono::duration<double, std::milli> CharacterTime(const std::string& settings) {
  LineSettings line;
  ParseSettingsString(settings, line);
  return std::chrono::duration<double, std::milli>(HalfBitsPerCharacter(line) * 1000.0 /
                                                   (2.0 * line.baudRate));
}

// Resets the card behind `settings` (negotiating its speed when asked), selects EF 6F01,
// then times the READ BINARY commands. Returns the line's rate after the Reset.
std::uint32_t TimeReads(benchmark::State& state, const std::string& settings, PortTiming timing,
                        bool pps) {
  const CardCommand selectDf = MakeCommand({0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x7F, 0x10});
  const CardCommand selectEf = MakeCommand({0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x6F, 0x01});
  const CardCommand read = MakeCommand({0x00, 0xB0, 0x00, 0x00, 0x20}, kFromCard);

  SystemClock clock;
  testing::RecordingMessageSink messages;
  SystemDeviceFactory devices({}, clock);
  std::uint32_t baud = 0;
  for (auto _ : state) {
    state.PauseTiming();
    RowList rows;
    TextEditBox counter;
    ValueCheckBox bin;
    OutputPanel output(rows, counter, bin);
    CCardPort port(devices, clock, messages);
    port.SetTiming(timing);
    SerialChannel line(port, clock);
    ExchangeState exchange;
    std::uint32_t total = 0;
    CardSession session(line, clock, output, exchange, total);
    session.SetSpeedNegotiation(pps);
    session.Reset(settings.c_str(), settings.c_str());
    baud = port.LineInUse() ? port.LineInUse()->baudRate : 0;
    session.Execute(selectDf);
    session.Execute(selectEf);
    state.ResumeTiming();
    for (int i = 0; i < kCommands; ++i) {
      if (session.Execute(read) != 1 || exchange.received.size() != 38) {
        state.SkipWithError("READ BINARY did not complete");
        break;
      }
    }
  }
  return baud;
}

void BM_RunReadBinaryOnTheDemoCard(benchmark::State& state) {
  const std::string settings =
      "DEMO: baud=" + std::to_string(state.range(1)) + " parity=E data=8 stop=2";
  TimeReads(state, settings, state.range(0) == 1 ? PortTiming::kFixed : PortTiming::kDeadline,
            false);
  const double lineMs = kCommands * kBytesPerCommand * CharacterTime(settings).count();
  state.counters["line_ms"] = lineMs;
  state.counters["target_ms"] = lineMs * 1.05 + kCommands * 1.0;
}
BENCHMARK(BM_RunReadBinaryOnTheDemoCard)
    ->ArgsProduct({{0, 1}, {9600, 115200}})
    ->ArgNames({"strict", "baud"})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The same run on the fast demo card (DEMF, TA1 = 96) with deadlines, at the settings string's
// 9600 baud, and after negotiating its speed (PPS): 223200 baud at 3.5712 MHz, a character
// of 12 etu. Target with PPS: within 5 % plus 1 ms a command of the line time at that rate.
void BM_RunReadBinaryOnTheFastDemoCard(benchmark::State& state) {
  const std::uint32_t baud = TimeReads(state, "DEMF: baud=9600 parity=E data=8 stop=2",
                                       PortTiming::kDeadline, state.range(0) == 1);
  // The card's characters take 12 etu at the line's rate.
  const double lineMs = kCommands * kBytesPerCommand * 12.0 * 1000.0 / baud;
  state.counters["baud"] = baud;
  state.counters["line_ms"] = lineMs;
  state.counters["target_ms"] = lineMs * 1.05 + kCommands * 1.0;
}
BENCHMARK(BM_RunReadBinaryOnTheFastDemoCard)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("pps")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
