// 200 READ BINARY of 255 bytes in real time over the echoing line: from the T=1 demo card
// (DEM1) at 9600 baud and after PPS (Fi=512, Di=32: 223200 baud at 3.5712 MHz), and, for
// comparison, the same reads from the fast T=0 demo card (DEMF). Wall time is compared with
// the line time. T=1, per command: the command's I-block (9 characters), the card's two
// blocks (258 and 7: IFSD is 254) and the R-block between them (4), 12 etu a character, and
// at each of the three turns of the line the 10 etu of quiet that the block guard time of
// 22 etu leaves after a character. T=0: the header, the procedure byte, 255 data bytes and
// the status word, 263 characters. Target: within 5 % plus 1 ms a command.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "card/command_exchange.h"
#include "card/t1_protocol.h"
#include "card/t1_serial_link.h"
#include "port/card_port.h"
#include "port/system_device_factory.h"
#include "support/card_commands.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

constexpr int kCommands = 200;
constexpr std::uint32_t kFastRate = 223'200;
constexpr double kT1EtuPerCommand = (9 + 258 + 4 + 7) * 12.0 + 3 * 10.0;
constexpr double kT0EtuPerCommand = (5 + 1 + 255 + 2) * 12.0;

// Resets the card behind `settings` and, when asked, sends the PPS request for `protocol`
// with PPS1 = 96 by hand and follows it. Returns the ATR; `baud` is the line's rate then.
std::vector<std::uint8_t> Reset(CCardPort& port, const char* settings, bool pps,
                                std::uint8_t protocol, std::uint32_t& baud) {
  port.Open(settings);
  port.PulseResetLine(settings);
  std::vector<std::uint8_t> atr(64);
  atr.resize(port.ReadWithin(atr.data(), 64, CCardPort::kAnswerWait));
  baud = 9600;
  if (pps) {
    const std::uint8_t pps0 = 0x10 | protocol;
    const std::uint8_t request[4] = {0xFF, pps0, 0x96,
                                     static_cast<std::uint8_t>(0xFF ^ pps0 ^ 0x96)};
    port.Write(request, 4);
    std::uint8_t exchanged[8];
    if (port.ReadWithin(exchanged, 8, std::chrono::milliseconds(50)) == 8 &&
        port.SetBaudRate(kFastRate)) {
      baud = kFastRate;
    }
  }
  return atr;
}

void Report(benchmark::State& state, std::uint32_t baud, double etuPerCommand) {
  const double lineMs = kCommands * etuPerCommand * 1000.0 / baud;
  state.counters["baud"] = baud;
  state.counters["line_ms"] = lineMs;
  state.counters["target_ms"] = lineMs * 1.05 + kCommands * 1.0;
}

void BM_T1ReadBinaryOnDem1(benchmark::State& state) {
  const char* settings = "DEM1: baud=9600 parity=E data=8 stop=2";
  SystemClock clock;
  testing::RecordingMessageSink messages;
  SystemDeviceFactory devices({}, clock);
  const std::vector<std::uint8_t> read = {0x00, 0xB0, 0x00, 0x00, 0xFF};
  std::uint32_t baud = 0;
  for (auto _ : state) {
    state.PauseTiming();
    CCardPort port(devices, clock, messages);
    const T1Parameters parameters =
        ReadT1Parameters(Reset(port, settings, state.range(0) == 1, 1, baud));
    T1SerialLink link(port, clock, parameters, kDefaultReaderClockHz, baud);
    T1Protocol protocol(parameters);
    ExchangeState exchange;
    protocol.AnnounceIfsd(link, exchange);
    protocol.Transmit(link, std::vector<std::uint8_t>{0x00, 0xA4, 0x00, 0x0C, 0x02, 0x7F, 0x10},
                      exchange);
    protocol.Transmit(link, std::vector<std::uint8_t>{0x00, 0xA4, 0x00, 0x0C, 0x02, 0x6F, 0x03},
                      exchange);
    state.ResumeTiming();
    for (int i = 0; i < kCommands; ++i) {
      if (protocol.Transmit(link, read, exchange).data.size() != 255) {
        state.SkipWithError("READ BINARY did not complete");
        break;
      }
    }
  }
  Report(state, baud, kT1EtuPerCommand);
}
BENCHMARK(BM_T1ReadBinaryOnDem1)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("pps")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The same reads in the described T=0 on DEMF, with deadlines as the command line runs them.
void BM_T0ReadBinaryOnDemf(benchmark::State& state) {
  const char* settings = "DEMF: baud=9600 parity=E data=8 stop=2";
  SystemClock clock;
  testing::RecordingMessageSink messages;
  SystemDeviceFactory devices({}, clock);
  const CardCommand read = testing::MakeCommand({0x00, 0xB0, 0x00, 0x00, 0xFF}, kFromCard);
  std::uint32_t baud = 0;
  for (auto _ : state) {
    state.PauseTiming();
    CCardPort port(devices, clock, messages);
    port.SetTiming(PortTiming::kDeadline);
    Reset(port, settings, state.range(0) == 1, 0, baud);
    ExchangeState exchange;
    ExchangeCommand(port,
                    testing::MakeCommand({0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x7F, 0x10}),
                    exchange);
    ExchangeCommand(port,
                    testing::MakeCommand({0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x6F, 0x03}),
                    exchange);
    state.ResumeTiming();
    for (int i = 0; i < kCommands; ++i) {
      if (ExchangeCommand(port, read, exchange) != 1 || exchange.received.size() != 261) {
        state.SkipWithError("READ BINARY did not complete");
        break;
      }
    }
  }
  Report(state, baud, kT0EtuPerCommand);
}
BENCHMARK(BM_T0ReadBinaryOnDemf)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("pps")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
