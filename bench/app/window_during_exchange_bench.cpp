// The window while the card talks, at the demo card's real character timing (offscreen):
// how long its event loop ever waits during Execute all, and what the window adds to each
// command over the card session run on its own.
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "app/qt/quorvel_dlg.h"
#include "card/card_session.h"
#include "card/output_panel.h"
#include "card/serial_channel.h"
#include "controls/windowless_controls.h"
#include "port/system_device_factory.h"
#include "support/card_commands.h"
#include "support/recording_message_sink.h"
#include "support/scripted_services.h"

namespace quorvel::gui {
namespace {

namespace fs = std::filesystem;
constexpr const char* kSettings = "DEMO: baud=9600 parity=E data=8 stop=2";

using testing::MakeCommand;

// SELECT of EF 6F01, then `reads` READ BINARY of 32 bytes: 40 characters each, 50 ms at
// 9600 baud, the length of the header's wait.
std::vector<CardCommand> ReadList(int reads) {
  std::vector<CardCommand> list = {
      MakeCommand({0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x7F, 0x10}),
      MakeCommand({0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x6F, 0x01})};
  for (int i = 0; i < reads; ++i)
    list.push_back(MakeCommand({0x00, 0xB0, 0x00, 0x00, 0x20}, kFromCard));
  return list;
}

// The window over the demo card at the real clock, its list filled and the card reset.
struct DemoWindow {
  explicit DemoWindow(const std::vector<CardCommand>& list)
      : folder(fs::temp_directory_path() / ("quorvel-bench-run-" + std::to_string(getpid()))),
        devices({{"COM2", "DEMO"}}, clock) {
    fs::create_directories(folder);
    old = fs::current_path();
    fs::current_path(folder);
    profile.emplace(Profile::Load((folder / "Quorvel.INI").string()));
    dialog.emplace(MainWindowDeps{devices, clock, *profile, &messages, &files, &editor, nullptr});
    dialog->show();
    for (const CardCommand& command : list) {
      editor.steps.push_back({[command](CardCommand& r) { r = command; }, 1});
      dialog->logic().OnEdit();
    }
    dialog->logic().OnReset();
    WaitForTheLine();
  }
  ~DemoWindow() {
    dialog.reset();
    fs::current_path(old);
    fs::remove_all(folder);
  }
  void WaitForTheLine() {
    while (!dialog->logic().LineIdle())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
  }

  fs::path folder;
  fs::path old;
  SystemClock clock;
  SystemDeviceFactory devices;
  std::optional<Profile> profile;
  testing::RecordingMessageSink messages;
  testing::ScriptedFileChooser files;
  testing::ScriptedEditor editor;
  std::optional<CQuorvelDlg> dialog;
};

// A timer ticking every 10 ms while Execute all runs a list of about 2 s: the longest gap
// between two ticks is how long the window ever stopped answering. Target: under 50 ms.
void BM_EventLoopDuringExecuteAll(benchmark::State& state) {
  const std::vector<CardCommand> list = ReadList(38);  // 40 commands of 50 ms
  double longest = 0;
  double ran = 0;
  for (auto _ : state) {
    DemoWindow window(list);
    QElapsedTimer since;
    double gap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      gap = std::max(gap, static_cast<double>(since.nsecsElapsed()) / 1e6);
      since.restart();
    });
    const auto began = std::chrono::steady_clock::now();
    window.dialog->logic().OnExecuteAll();
    since.start();
    ticker.start(10);
    window.WaitForTheLine();
    ran =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    longest = std::max(longest, gap);
  }
  state.counters["list_ms"] = ran;
  state.counters["longest_gap_ms"] = longest;
}
BENCHMARK(BM_EventLoopDuringExecuteAll)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// 200 READ BINARY of 32 bytes at 9600 baud with the described waits: through Execute all in
// the window, and through the card session alone (what the window adds nothing to). Target:
// the window adds under 1 ms a command.
void BM_ExecuteAllAgainstTheSessionAlone(benchmark::State& state) {
  constexpr int kReads = 200;
  const std::vector<CardCommand> list = ReadList(kReads);
  double window_ms = 0;
  double session_ms = 0;
  for (auto _ : state) {
    {
      SystemClock clock;
      testing::RecordingMessageSink messages;
      SystemDeviceFactory devices({}, clock);
      RowList rows;
      TextEditBox counter;
      ValueCheckBox bin;
      OutputPanel output(rows, counter, bin);
      CCardPort port(devices, clock, messages);
      SerialChannel line(port, clock);
      ExchangeState exchange;
      std::uint32_t total = 0;
      CardSession session(line, clock, output, exchange, total);
      session.Reset(kSettings, kSettings);
      const auto began = std::chrono::steady_clock::now();
      for (const CardCommand& command : list) session.Execute(command);
      session_ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began)
              .count();
    }
    DemoWindow window(list);
    const auto began = std::chrono::steady_clock::now();
    window.dialog->logic().OnExecuteAll();
    window.WaitForTheLine();
    window_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
    if (window.dialog->logic().RunStatusText().rfind("202 commands: 202 completed", 0) != 0)
      state.SkipWithError(window.dialog->logic().RunStatusText().c_str());
  }
  state.counters["window_ms"] = window_ms;
  state.counters["session_ms"] = session_ms;
  state.counters["added_ms_per_command"] = (window_ms - session_ms) / (kReads + 2);
}
BENCHMARK(BM_ExecuteAllAgainstTheSessionAlone)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::gui
