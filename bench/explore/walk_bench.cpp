// A full walk of the demo SIM cards as quorvel --explore makes it, at their real character
// timing with the command line's deadlines: DEMS (a GSM SIM) at 9600 baud, DEMU (a locked
// UICC) at 9600 baud and after PPS (223200 baud at 3.5712 MHz). The Reset is timed with
// the walk, as a user waits for both. Target: DEMU with PPS under 2 s.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>

#include "card/card_session.h"
#include "card/output_panel.h"
#include "card/reader_channel.h"
#include "controls/windowless_controls.h"
#include "explore/session_card_access.h"
#include "port/system_device_factory.h"
#include "sim/file_walker.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

void BM_ExploreTheDemoSimCards(benchmark::State& state) {
  const bool uicc = state.range(0) == 1;
  const bool pps = state.range(1) == 1;
  const std::string settings =
      std::string(uicc ? "DEMU" : "DEMS") + ": baud=9600 parity=E data=8 stop=2";
  SystemClock clock;
  testing::RecordingMessageSink messages;
  SystemDeviceFactory devices({}, clock);
  std::size_t exchanges = 0;
  for (auto _ : state) {
    RowList rows;
    TextEditBox counter;
    ValueCheckBox bin;
    OutputPanel output(rows, counter, bin);
    ReaderChannel reader(devices, clock, messages,
                         {PortTiming::kDeadline, MessageAudience::kCommandLine});
    ExchangeState exchange;
    std::uint32_t total = 0;
    CardSession session(reader, clock, output, exchange, total);
    session.SetSpeedNegotiation(pps);
    session.Reset(settings.c_str(), settings.c_str());
    const std::atomic<bool> never{false};
    SessionCardAccess access(session, never);
    const CardWalk walk = WalkCard(access);
    if (!walk.completed) state.SkipWithError("the walk did not complete");
    exchanges = walk.exchanges;
  }
  state.counters["exchanges"] = static_cast<double>(exchanges);
  if (uicc && pps) state.counters["target_ms"] = 2000;
}
BENCHMARK(BM_ExploreTheDemoSimCards)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->ArgNames({"uicc", "pps"})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel
