// Costs of the main window over its real widgets (offscreen): the output list,
// the command list, Reset against the demo card, start-up, and SCC files.
#include <malloc.h>
#include <unistd.h>
#include <QApplication>
#include <QDialog>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include <benchmark/benchmark.h>

#include "app/qt/qt_controls.h"
#include "app/qt/quorvel_dlg.h"
#include "card/output_panel.h"
#include "port/system_device_factory.h"
#include "support/fake_clock.h"
#include "support/fake_controls.h"
#include "support/recording_message_sink.h"
#include "support/scripted_services.h"

namespace quorvel::gui {
namespace {

namespace fs = std::filesystem;

std::size_t HeapInUse() {
  return mallinfo2().uordblks;
}

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Appends `rows` rows to the panel: plain rows of 16 bytes, or rows as Executes add them,
// each Execute with its record (a 22-character comment), a row of 16 bytes, a row of 6 and
// the status row.
void AppendRows(OutputPanel& panel, int rows, bool asExecutes) {
  std::uint8_t bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<std::uint8_t>(0xA0 + i);
  const std::uint8_t status[2] = {0x90, 0x00};
  if (!asExecutes) {
    for (int r = 0; r < rows; ++r) panel.AppendHexRows(bytes, 16);
    return;
  }
  for (int r = 0; r < rows; r += 3) {
    ExchangeRecord record;
    std::memcpy(record.header, bytes, sizeof record.header);
    record.comment = "READ BINARY of EF 2FE2";
    record.received = 22;
    record.started = std::chrono::system_clock::now();
    panel.OpenExchange(std::move(record));
    panel.AppendHexRows(bytes, 16);
    panel.AppendHexRows(bytes, 6);
    panel.AppendStatusRow(status, 2);
    panel.CloseExchange();
  }
}

// 100,000 rows appended to the real output list, then scrolled to. Each row keeps its
// tag beside it; an Execute's rows also share its record.
void BM_AppendRowsToOutputList(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const bool asExecutes = state.range(1) == 1;
  double bytes_per_row = 0;
  double scroll_ms = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto* view = new QListView;
    view->resize(400, 600);
    view->setUniformItemSizes(true);
    view->show();
    ListViewBox list(view);
    testing::FakeEditBox count;
    testing::FakeCheckBox bin;
    auto panel = std::make_unique<OutputPanel>(list, count, bin);
    const std::size_t heap_before = HeapInUse();
    state.ResumeTiming();

    AppendRows(*panel, rows, asExecutes);

    state.PauseTiming();
    bytes_per_row = static_cast<double>(HeapInUse() - heap_before) / rows;
    const auto start = std::chrono::steady_clock::now();
    panel->ScrollOutputToEnd();
    QApplication::processEvents();
    scroll_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    panel.reset();
    delete view;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.counters["us_per_row"] = benchmark::Counter(
      static_cast<double>(rows) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
  state.counters["bytes_per_row"] = bytes_per_row;
  state.counters["scroll_to_end_ms"] = scroll_ms;
}
BENCHMARK(BM_AppendRowsToOutputList)
    ->Args({100000, 0})
    ->Args({99999, 1})
    ->ArgNames({"rows", "executes"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Explaining one row when the tooltip or the details pane asks, in a list of 100,000 rows.
void BM_ExplainRowOfALongList(benchmark::State& state) {
  auto* view = new QListView;
  ListViewBox list(view);
  testing::FakeEditBox count;
  testing::FakeCheckBox bin;
  OutputPanel panel(list, count, bin);
  AppendRows(panel, 99999, true);
  int row = 50000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(panel.ExplainRow(row));
    row = row == 50000 ? 50002 : 50000;  // a command row, then a status row
  }
  delete view;
}
BENCHMARK(BM_ExplainRowOfALongList)->Unit(benchmark::kMicrosecond);

struct Window {
  explicit Window(DeviceFactory& devices, Clock& clock, const fs::path& folder)
      : Window(devices, clock, (folder / "Quorvel.INI").string()) {}
  Window(DeviceFactory& devices, Clock& clock, const std::string& profilePath)
      : profile(Profile::Load(profilePath)),
        dialog(MainWindowDeps{devices, clock, profile, &messages, &files, &editor, nullptr}) {}
  Profile profile;
  testing::RecordingMessageSink messages;
  testing::ScriptedFileChooser files;
  testing::ScriptedEditor editor;
  CQuorvelDlg dialog;
};

fs::path BenchFolder() {
  const fs::path folder = fs::temp_directory_path() / ("quorvel-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  return folder;
}

// Reset against the demo card with the real clock: everything beyond the fixed
// 300 ms of waits is the program's own cost (the ATR arrives during the waits).
void BM_ResetOverheadAgainstDemoCard(benchmark::State& state) {
  const fs::path folder = BenchFolder();
  const fs::path old = fs::current_path();
  fs::current_path(folder);
  SystemClock clock;
  SystemDeviceFactory devices({{"COM2", "DEMO"}}, clock);
  Window window(devices, clock, folder);
  auto* reset = qobject_cast<QPushButton*>(window.dialog.Control(1000));
  double total_ms = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    reset->click();
    while (!window.dialog.logic().LineIdle())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    total_ms +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["overhead_ms"] = total_ms / static_cast<double>(state.iterations()) - 300.0;
  fs::current_path(old);
  fs::remove_all(folder);
}
BENCHMARK(BM_ResetOverheadAgainstDemoCard)->Unit(benchmark::kMillisecond)->Iterations(10);

// From construction until the window is on screen, against a bare dialog with
// the same widgets (list views with a plain string model) and nothing behind
// them, measured the same way.
void BM_StartUpUntilShown(benchmark::State& state) {
  const bool bare = state.range(0) == 0;
  const fs::path folder = BenchFolder();
  testing::FakeClock clock;
  SystemDeviceFactory devices({{"COM2", "DEMO"}}, clock);
  for (auto _ : state) {
    // Closing the window (and writing the profile) is not start-up.
    std::optional<QDialog> bare_dialog;
    std::optional<Window> window;
    if (bare) {
      // The same widgets as a plain Qt dialog has them: list views need a model.
      bare_dialog.emplace();
      const BuiltDialog built = BuildDialog(*bare_dialog, res::MainDialogTemplate());
      for (int list : {1002, 1020}) {
        QListView* view = built.Get<QListView>(list);
        view->setModel(new QStringListModel(view));
      }
      bare_dialog->show();
    } else {
      // The profile each window writes when it closes goes where it cannot be written:
      // its disk writes would otherwise be charged to the next start-up.
      window.emplace(devices, clock, std::string("/proc/self/quorvel/Quorvel.INI"));
      window->dialog.show();
    }
    QApplication::processEvents();
    state.PauseTiming();
    window.reset();
    bare_dialog.reset();
    state.ResumeTiming();
  }
  state.counters["resident_MiB"] = static_cast<double>(ResidentKiB()) / 1024.0;
  fs::remove_all(folder);
}
BENCHMARK(BM_StartUpUntilShown)->Arg(0)->Arg(1)->ArgName("quorvel")->Unit(benchmark::kMicrosecond);

// 10,000 commands added through the command list with its real list view.
void BM_AddCommandsThroughTheList(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  CardCommand command = NewCardCommand();
  std::memcpy(command.comment, "SELECT the master file", 23);
  for (auto _ : state) {
    state.PauseTiming();
    auto* view = new QListView;
    view->show();
    ListViewBox list(view);
    CommandList commands(list);
    state.ResumeTiming();
    for (int i = 0; i < count; ++i) {
      command.header[4] = static_cast<std::uint8_t>(i);
      commands.Append(std::make_unique<CardCommand>(command));
    }
    state.PauseTiming();
    delete view;
    state.ResumeTiming();
  }
  state.counters["us_per_command"] = benchmark::Counter(
      static_cast<double>(count) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::OneK::kIs1000);
}
BENCHMARK(BM_AddCommandsThroughTheList)->Arg(10000)->Unit(benchmark::kMillisecond);

// Save and Load of an SCC file with 10,000 commands, the list box filled.
void BM_SaveAndLoadTenThousandCommands(benchmark::State& state) {
  const bool load = state.range(0) == 1;
  const fs::path folder = BenchFolder();
  testing::FakeClock clock;
  SystemDeviceFactory devices({}, clock);
  Window window(devices, clock, folder);
  CardCommand command = NewCardCommand();
  for (int i = 0; i < 10000; ++i) {
    command.header[4] = static_cast<std::uint8_t>(i);
    window.editor.steps.push_back({[&command](CardCommand& r) { r = command; }, 1});
    window.dialog.logic().OnEdit();
  }
  const std::string path = (folder / "big.scc").string();
  window.dialog.logic().SaveConfig(path);
  for (auto _ : state) {
    benchmark::DoNotOptimize(load ? window.dialog.logic().LoadConfig(path)
                                  : window.dialog.logic().SaveConfig(path));
  }
  state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
  fs::remove_all(folder);
}
BENCHMARK(BM_SaveAndLoadTenThousandCommands)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("load")
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvel::gui
