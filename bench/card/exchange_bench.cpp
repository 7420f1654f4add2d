// One command exchange against the demo card with a clock that moves on instead of
// sleeping: what is measured is the exchange's own work (with the demo card's), not its
// fixed waits nor the line's character time.
#include <benchmark/benchmark.h>

#include "card/command_exchange.h"
#include "port/system_device_factory.h"
#include "support/fake_clock.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

CardCommand Command(std::initializer_list<std::uint8_t> header, std::uint8_t direction) {
  CardCommand command = NewCardCommand();
  std::copy(header.begin(), header.end(), command.header);
  command.direction = direction;
  return command;
}

void BM_ExchangeWithDemoCard(benchmark::State& state) {
  const bool full = state.range(0) == 255;
  const std::string settings =
      "DEMO: baud=" + std::to_string(state.range(1)) + " parity=E data=8 stop=2";
  testing::FakeClock clock;
  testing::RecordingMessageSink messages;
  SystemDeviceFactory devices({}, clock);
  CCardPort port(devices, clock, messages);
  port.Open(settings.c_str());
  port.PulseReset(settings.c_str());
  std::uint8_t atr[64];
  port.Read(atr, 64, 0);

  ExchangeState exchange;
  CardCommand selectDf = Command({0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard);
  CardCommand selectEf = selectDf;
  selectDf.data[0] = 0x7F;
  selectDf.data[1] = 0x10;
  selectEf.data[0] = 0x6F;
  selectEf.data[1] = 0x03;
  ExchangeCommand(port, selectDf, exchange);
  ExchangeCommand(port, selectEf, exchange);

  // P3 = 255: the whole 255-byte EF; P3 = 0: VERIFY asking for the PIN state.
  const CardCommand command = full ? Command({0x00, 0xB0, 0x00, 0x00, 0xFF}, kFromCard)
                                   : Command({0x00, 0x20, 0x00, 0x01, 0x00}, kFromCard);
  for (auto _ : state) {
    if (ExchangeCommand(port, command, exchange) != 1) {
      state.SkipWithError("exchange failed");
      break;
    }
    clock.waits.clear();
  }
  state.counters["received"] = exchange.received.size();
}
BENCHMARK(BM_ExchangeWithDemoCard)
    ->ArgsProduct({{0, 255}, {9600, 115200}})
    ->ArgNames({"p3", "baud"});

}  // namespace
}  // namespace quorvel
