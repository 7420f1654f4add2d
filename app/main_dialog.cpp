#include "app/main_dialog.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <utility>

#include "app/fixed_text.h"
#include "commands/scc_file.h"
#include "commands/script_file.h"
#include "files/file_replace.h"
#include "files/path_name.h"
#include "files/same_file.h"
#include "iso7816/transmission_rate.h"
#include "port/reader_clock.h"

namespace quorvel {
namespace {

constexpr std::size_t kMaxConfigPath = sizeof(MainDialogState::m_configPath) - 1;
constexpr std::size_t kMaxLogFileName = sizeof(MainDialogState::m_logFileName) - 1;

std::string LogPlaceQuestion(const std::string& fullPath, const std::string& inside) {
  return "The loaded command list writes its log outside the working folder:\n\n" + fullPath +
         "\n\nReset creates this file anew, emptying it. Write the log there?\n\n" +
         "No writes it to " + inside + " in the working folder.";
}

std::string SccLossQuestion(const std::string& path, const SccLoss& loss) {
  return "The list holds " + SccLossText(loss) + ", which an SCC file cannot keep:\n\n" + path +
         "\n\nSave it as an SCC file without them?\n\nNo saves nothing; a name that does not "
         "end in .scc saves the list as a command script with everything in it.";
}

std::string LogOverCommandFileMessage(const std::string& name) {
  return "The log file is the command list's own file:\n\n" + name +
         "\n\nThis Reset writes no log, so as not to overwrite it. Browse names another log "
         "file.";
}

std::string PathTooLongMessage(const std::string& path, std::size_t limit) {
  return "The path is too long: it has " + std::to_string(path.size()) +
         " characters and at most " + std::to_string(limit) + " fit.\n\n" + path;
}

// The fields an SCC file stores, each with its place in the file's settings,
// in file order. Arrays travel whole, bytes after their zero included.
template <class Visit>
void ForEachStoredField(MainDialogState& state, SccSettings& file, Visit visit) {
  visit(state.m_logFileName, file.logFileName);
  visit(state.m_altLogFileName, file.altLogFileName);
  visit(state.m_executeSettings, file.executeSettings);
  visit(state.m_altExecuteSettings, file.altExecuteSettings);
  visit(state.m_resetSettings, file.resetSettings);
  visit(state.m_altResetSettings, file.altResetSettings);
  visit(state.m_reservedWord, file.reservedWord);
  visit(state.m_reservedBlock, file.reservedBlock);
}

// Copies one stored field whole; both sides have the same width.
template <class To, class From>
void CopyWhole(To& to, const From& from) {
  static_assert(sizeof(To) == sizeof(From));
  std::memcpy(&to, &from, sizeof to);
}

}  // namespace

namespace {

std::function<void()> WakeOf(LineActivity* activity) {
  if (activity == nullptr) return {};
  return [activity] { activity->WakeWindow(); };
}

}  // namespace

MainDialog::MainDialog(const MainDialogControls& controls, const MainDialogServices& services)
    : controls_(controls),
      services_(services),
      output_(controls.outputList, controls.countEdit, controls.binCheck),
      output_display_(output_, state_.m_totalBytes),
      trace_(output_display_),
      commands_(controls.commandList),
      line_(services.devices, services.clock, services.messages, trace_.display(),
            WakeOf(services.activity)) {}

MainDialog::~MainDialog() {
  line_.Stop();  // the line's work has ended before anything it uses goes
}

void MainDialog::ShowTitle() {
  // A log that the last Reset could not create, or could not write whole, says so here once.
  const std::string& trouble = output_.logTrouble();
  const char* state = trouble.empty()                     ? ""
                      : trouble.starts_with("incomplete") ? " - incomplete"
                                                          : " - not written";
  services_.title.SetTitle("Quorvel [" + TextOf(state_.m_logFileName) + state + "]");
}

void MainDialog::OnInitDialog(bool fileFollows) {
  IgnoreFileSizeSignal();
  controls_.commandList.InsertString(0, kNewCommandEntry);
  controls_.commandList.SetCurSel(0);
  controls_.countEdit.SetText("0");
  state_.m_totalBytes = 0;
  SetAutomaticResponses(
      services_.profile.GetString(kOptionsSection, kAutomaticResponsesKey, "off") == "on");
  stop_at_failure_ = services_.profile.GetString(kOptionsSection, kStopAtFailureKey, "on") != "off";
  SetSpeedNegotiation(services_.profile.GetString(kOptionsSection, kSpeedNegotiationKey, "off") ==
                      "on");
  SetFullT0(services_.profile.GetString(kOptionsSection, kFullT0Key, "off") == "on");
  // The clock the reader feeds the card: the speeds of the ATR and of PPS follow from it.
  const std::uint32_t clockHz = ReaderClockOfProfile(services_.profile.Section("reader"),
                                                     services_.messages, MessageAudience::kWindow);
  line_.OnReader([clockHz](CardSession& session) { session.SetReaderClock(clockHz); });

  std::string remembered = services_.profile.GetString("config", "list", "NULL");
  // A value that does not fit is treated as missing rather than cut into another path.
  if (remembered.size() > kMaxConfigPath) remembered = "NULL";
  CopyText(state_.m_configPath, remembered);
  if (remembered == "NULL") {
    OnNew();
  } else if (const SccLoadStatus loaded = LoadConfigFile(remembered, true);
             loaded != SccLoadStatus::kLoaded) {
    OnNew();
    // One bad file costs one message: the profile stops naming it now, not only at
    // a clean exit.
    if (loaded == SccLoadStatus::kRefused) RememberConfigPath();
  }

  ShowTitle();
  port_waits_for_file_ = fileFollows;
  if (!fileFollows) OpenReader();
}

void MainDialog::OpenReader() {
  OnReader([settings = TextOf(state_.m_executeSettings)](CardChannel& reader) {
    reader.Open(settings);
    reader.ApplySettings(settings);
  });
}

void MainDialog::OnDestroy() {
  // A run ends after its command in progress; the window waited for that before closing.
  line_.Stop();
  RememberSwitch(kAutomaticResponsesKey, automatic_responses_, false);
  RememberSwitch(kStopAtFailureKey, stop_at_failure_, true);
  RememberSwitch(kSpeedNegotiationKey, speed_negotiation_, false);
  RememberSwitch(kFullT0Key, full_t0_, false);
  RememberConfigPath();
  OnReader([](CardChannel& reader) { reader.Close(); });
}

void MainDialog::RememberSwitch(const char* key, bool on, bool byDefault) {
  const bool there = !services_.profile.GetString(kOptionsSection, key, "").empty();
  if (there || on != byDefault)
    services_.profile.SetString(kOptionsSection, key, on ? "on" : "off");
}

void MainDialog::RememberConfigPath() {
  // A path with a line break cannot be kept in the profile: the next start gets the defaults.
  if (!services_.profile.SetString("config", "list", TextOf(state_.m_configPath)))
    services_.profile.SetString("config", "list", "NULL");
  services_.profile.Save();  // on failure the old profile stays whole; nothing to add at exit
}

void MainDialog::OnNew() {
  if (exchange_running_) return;
  commands_.ClearCommands();
  loaded_details_ = ListFileDetails{};
  SccSettings defaults = DefaultSccSettings();
  ForEachStoredField(state_, defaults,
                     [](auto& mine, const auto& stored) { CopyWhole(mine, stored); });
  log_name_from_file_ = false;
  state_.m_inverse = defaults.inverse;
  OnReader([inverse = state_.m_inverse,
            settings = TextOf(state_.m_executeSettings)](CardChannel& reader) {
    reader.SetInverse(inverse);
    reader.ApplySettings(settings);
  });
  controls_.invCheck.SetCheck(state_.m_inverse);
  controls_.executeEdit.SetText(TextOf(state_.m_executeSettings));
  controls_.resetEdit.SetText(TextOf(state_.m_resetSettings));
  ShowTitle();
  CopyText(state_.m_configPath, "noname.scc");
}

void MainDialog::StartExchange(std::function<void(CardSession&)> job, std::function<void()> ended) {
  exchange_running_ = true;
  // A Stop that ended the last run must not end this job's first wait (T=1, whole T=0).
  line_.stopFlag() = false;
  if (services_.activity) services_.activity->ExchangeRunning(true);
  line_.Post([this, job = std::move(job), ended = std::move(ended)](CardSession& session) {
    job(session);
    line_.ToWindow([this, ended] {
      ExchangeEnded();
      if (ended) ended();
    });
  });
}

void MainDialog::ExchangeEnded() {
  if (output_.logTrouble() != title_trouble_) {
    title_trouble_ = output_.logTrouble();
    ShowTitle();
  }
  exchange_running_ = false;
  if (services_.activity) services_.activity->ExchangeRunning(false);
  ShowTraceFailures();
}

void MainDialog::ShowTraceFailures() {
  if (const std::string failures = trace_.TakeWriteFailures(); !failures.empty())
    services_.messages.ShowMessage(failures);
}

void MainDialog::OnRecordTrace() {
  if (trace_.recording()) {
    trace_.StopRecording();
    return;
  }
  FileChooser::Request request;
  request.mode = FileChooser::Mode::kSave;
  request.filter = kTraceFilter;
  request.defaultExtension = "pcap";
  request.initialName = "trace.pcap";
  const auto chosen = services_.files.Choose(request);
  if (!chosen) return;
  // Either would be emptied under the trace: the list's own file, or the log the next Reset makes.
  if (IsSameFile(*chosen, TextOf(state_.m_configPath)) ||
      IsSameFile(*chosen, TextOf(state_.m_logFileName))) {
    services_.messages.ShowMessage(kTraceOverOwnFile);
    return;
  }
  const bool keepPins = services_.questions.AskYesNo(kKeepPinsQuestion);
  if (const std::string problem = trace_.StartRecording(*chosen, keepPins); !problem.empty())
    services_.messages.ShowMessage(problem);
}

void MainDialog::SetSendingToWireshark(bool on) {
  if (!on) {
    trace_.StopSending();
    return;
  }
  if (const std::string problem = trace_.StartSending(); !problem.empty())
    services_.messages.ShowMessage(problem);
}

void MainDialog::OnReader(std::function<void(CardChannel&)> operation) {
  line_.OnReader(
      [operation = std::move(operation)](CardSession& session) { operation(session.channel()); });
}

void MainDialog::ForgetRunStatus() {
  if (run_.summary.empty()) return;
  run_.summary.clear();
  if (services_.activity) services_.activity->RunStatusChanged();
}

void MainDialog::PrepareReset() {
  // A Reset started by a key from inside a settings box uses what the box holds now.
  OnKillFocusResetEdit();
  OnKillFocusExecuteEdit();
  ForgetRunStatus();
  output_.RemoveAllRows();
  OpenLogFile();
  if (output_.logTrouble() != title_trouble_) {
    title_trouble_ = output_.logTrouble();
    ShowTitle();
  }
}

void MainDialog::OnReset() {
  if (exchange_running_) return;
  PrepareReset();
  StartExchange([execute = TextOf(state_.m_executeSettings),
                 reset = TextOf(state_.m_resetSettings)](CardSession& session) {
    session.Reset(execute.c_str(), reset.c_str());
  });
}

void MainDialog::OpenLogFile() {
  const std::string name = TextOf(state_.m_logFileName);
  if (log_name_from_file_ && !log_place_agreed_ && LeavesWorkingFolder(name)) {
    const std::string inside = LastComponent(name, kDefaultLogFileName);
    if (services_.questions.AskYesNo(LogPlaceQuestion(FullPath(name), inside))) {
      log_place_agreed_ = true;
    } else {
      CopyText(state_.m_logFileName, inside);
      ShowTitle();
    }
  }
  const std::string chosen = TextOf(state_.m_logFileName);
  // Creating the log anew would empty the command list's own file.
  if (IsSameFile(chosen, TextOf(state_.m_configPath))) {
    services_.messages.ShowMessage(LogOverCommandFileMessage(chosen));
    output_.CloseLogFile();
    return;
  }
  output_.OpenLogFile(
      chosen, log_name_from_file_ ? OutputPanel::Links::kRefuse : OutputPanel::Links::kFollow);
}

void MainDialog::OnExecute() {
  if (exchange_running_) return;
  const int entry = controls_.commandList.GetCurSel();
  if (entry == 0) {
    services_.messages.ShowMessage(kCreateCommandHint);
    return;
  }
  if (commands_.IsResetEntry(entry)) {
    OnReset();  // a script's Reset line, run on its own: the Reset button's Reset
    return;
  }
  const CardCommand* command = commands_.RecordForEntry(entry);
  if (command == nullptr) return;  // nothing selected
  ForgetRunStatus();
  StartExchange([command = *command, expect = commands_.ExpectationForEntry(entry)](
                    CardSession& session) { session.Execute(command, expect); });
}

void MainDialog::OnExecuteAll() {
  ExecuteFrom(1);
}

void MainDialog::OnExecuteFromHere() {
  const int entry = controls_.commandList.GetCurSel();
  if (entry == ListBox::kError) return;  // nothing selected
  ExecuteFrom(std::max(entry, 1));       // from "New Command": the whole list
}

void MainDialog::ExecuteFrom(int firstEntry) {
  if (exchange_running_) return;
  if (commands_.size() == 0) {
    services_.messages.ShowMessage(kCreateCommandHint);
    return;
  }
  // The run takes its own copy: the list is not touched from the line thread. The number
  // the run line shows counts commands only, not Resets.
  std::vector<ListRunItem> items;
  std::vector<int> numbers;
  int commands = 0;
  for (int entry = firstEntry; entry <= static_cast<int>(commands_.size()); ++entry) {
    ListRunItem item;
    item.entry = entry;
    if (const CardCommand* command = commands_.RecordForEntry(entry)) {
      item.command = *command;
      item.expect = commands_.ExpectationForEntry(entry);
      item.le = commands_.LeForEntry(entry);
      ++commands;
    }
    numbers.push_back(std::max(commands, 1));
    items.push_back(std::move(item));
  }
  if (items.empty()) return;
  ListRunOptions options;
  options.stops = {stop_at_failure_, stop_at_failure_};
  options.executeSettings = TextOf(state_.m_executeSettings);
  options.resetSettings = TextOf(state_.m_resetSettings);
  run_ = RunStatus{true, 0, commands, std::chrono::steady_clock::now(), {}};
  line_.stopFlag() = false;
  if (services_.activity) services_.activity->RunStatusChanged();
  StartExchange([this, items = std::move(items), numbers = std::move(numbers),
                 options = std::move(options)](CardSession& session) {
    ListRunHooks hooks;
    hooks.starting = [&](std::size_t index) {
      line_.ToWindow([this, number = numbers[index], entry = items[index].entry] {
        run_.number = number;
        controls_.commandList.SetCurSel(entry);
        if (services_.activity) services_.activity->RunStatusChanged();
      });
    };
    const ListRunSummary summary =
        RunCommandList(session, services_.clock, items, options, line_.stopFlag(), hooks);
    line_.ToWindow([this, text = ListRunSummaryText(summary)] {
      run_.running = false;
      run_.summary = text;
      if (services_.activity) services_.activity->RunStatusChanged();
    });
  });
}

void MainDialog::OnStopRun() {
  line_.stopFlag() = true;
}

bool MainDialog::StartCardWork(bool reset, CardWork work, std::function<void()> ended) {
  if (exchange_running_) return false;
  if (reset) {
    PrepareReset();
  } else {
    ForgetRunStatus();
  }
  line_.stopFlag() = false;
  StartExchange(
      [this, reset, work = std::move(work), execute = TextOf(state_.m_executeSettings),
       resetSettings = TextOf(state_.m_resetSettings)](CardSession& session) {
        if (reset) session.Reset(execute.c_str(), resetSettings.c_str());
        work(session, line_);
      },
      std::move(ended));
  return true;
}

std::string MainDialog::RunStatusText() const {
  if (!run_.running) return run_.summary;
  return ListRunProgressText(std::max(run_.number, 1), run_.count,
                             std::chrono::steady_clock::now() - run_.began);
}

void MainDialog::SetAutomaticResponses(bool on) {
  automatic_responses_ = on;
  line_.OnReader([on](CardSession& session) { session.SetAutomaticResponses(on); });
}

void MainDialog::SetSpeedNegotiation(bool on) {
  speed_negotiation_ = on;
  line_.OnReader([on](CardSession& session) { session.SetSpeedNegotiation(on); });
}

void MainDialog::SetFullT0(bool on) {
  full_t0_ = on;
  line_.OnReader([on](CardSession& session) { session.SetFullT0(on); });
}

void MainDialog::OnEdit() {
  if (exchange_running_) return;
  commands_.OnEdit(services_.editor);
}

void MainDialog::OnInv() {
  if (exchange_running_) return;
  state_.m_inverse = controls_.invCheck.GetCheck();
  OnReader([inverse = state_.m_inverse](CardChannel& reader) { reader.SetInverse(inverse); });
}

void MainDialog::OnKillFocusResetEdit() {
  CopyText(state_.m_resetSettings, controls_.resetEdit.GetText());
}

void MainDialog::OnKillFocusExecuteEdit() {
  // An unchanged string is not applied again: the line keeps the rate the card's speed
  // negotiation gave it until the next Reset.
  const std::string before = TextOf(state_.m_executeSettings);
  CopyText(state_.m_executeSettings, controls_.executeEdit.GetText());
  if (TextOf(state_.m_executeSettings) == before) return;
  OnReader([settings = TextOf(state_.m_executeSettings)](CardChannel& reader) {
    reader.ApplySettings(settings);
  });
}

void MainDialog::OnBrowse() {
  if (exchange_running_) return;
  const bool binary = controls_.binCheck.GetCheck() == 1;
  FileChooser::Request request;
  request.mode = FileChooser::Mode::kSave;
  request.filter = binary ? kBinLogFilter : kTextLogFilter;
  request.defaultExtension = binary ? "bin" : "txt";
  request.initialName = TextOf(state_.m_logFileName);
  const auto chosen = services_.files.Choose(request);
  if (!chosen) return;
  if (chosen->size() > kMaxLogFileName) {
    services_.messages.ShowMessage(PathTooLongMessage(*chosen, kMaxLogFileName));
    return;
  }
  CopyText(state_.m_logFileName, *chosen);
  log_name_from_file_ = false;  // the user's own choice
  ShowTitle();
  output_.AppendRow(RowKind::kLogHint, kLogHint);
  output_.ScrollOutputToEnd();
}

std::optional<std::string> MainDialog::ChooseConfigPath(FileChooser::Mode mode) {
  FileChooser::Request request;
  request.mode = mode;
  request.filter = kCommandListFilter;
  if (mode == FileChooser::Mode::kSave) request.defaultExtension = "scc";
  request.initialName = TextOf(state_.m_configPath);
  auto chosen = services_.files.Choose(request);
  if (chosen && chosen->size() > kMaxConfigPath) {
    services_.messages.ShowMessage(PathTooLongMessage(*chosen, kMaxConfigPath));
    return std::nullopt;
  }
  return chosen;
}

void MainDialog::OnLoad() {
  if (exchange_running_) return;
  const auto chosen = ChooseConfigPath(FileChooser::Mode::kOpen);
  if (chosen && LoadConfig(*chosen) == 1) CopyText(state_.m_configPath, *chosen);
}

void MainDialog::OpenFile(const std::string& path) {
  std::error_code error;
  std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
  if (error) absolute = path;
  if (absolute.size() <= kMaxConfigPath) {
    if (LoadConfig(absolute) == 1) CopyText(state_.m_configPath, absolute);
  } else {
    services_.messages.ShowMessage(PathTooLongMessage(absolute, kMaxConfigPath));
  }
  // The port the file names, or the remembered one when the file could not be loaded.
  if (std::exchange(port_waits_for_file_, false)) OpenReader();
}

void MainDialog::OnSave() {
  if (exchange_running_) return;
  const auto chosen = ChooseConfigPath(FileChooser::Mode::kSave);
  if (chosen && SaveConfig(*chosen) == 1) CopyText(state_.m_configPath, *chosen);
}

int MainDialog::LoadConfig(const std::string& path) {
  return LoadConfigFile(path, false) == SccLoadStatus::kLoaded ? 1 : 0;
}

SccLoadStatus MainDialog::LoadConfigFile(const std::string& path, bool quietWhenMissing) {
  // A command script or an SCC file is told by its content; anything else is read as the SCC
  // layout always was.
  ScriptLoadResult script = LoadScriptFile(path);
  if (script.kind != ScriptFileKind::kNeither) {
    if (script.status != SccLoadStatus::kLoaded) {
      if (script.status == SccLoadStatus::kRefused || !quietWhenMissing)
        services_.messages.ShowMessage(script.message);
      return script.status;
    }
    TakeSettings(script.script.settings);
    loaded_details_ = DetailsOfLoadedScript(script.script);
    for (ScriptStep& step : script.script.steps) commands_.AppendStep(std::move(step));
    if (!script.complete) services_.messages.ShowMessage(script.message);
    return SccLoadStatus::kLoaded;
  }

  SccLoadResult loaded = LoadSccFile(path);
  if (loaded.status != SccLoadStatus::kLoaded) {
    if (loaded.status == SccLoadStatus::kRefused || !quietWhenMissing)
      services_.messages.ShowMessage(loaded.message);
    return loaded.status;
  }
  SccDecodeResult& file = loaded.file;
  TakeSettings(file.settings);
  loaded_details_ = ListFileDetails{};
  loaded_details_.settings = file.settings;
  for (auto& record : file.records) commands_.Append(std::move(record));
  if (file.status == SccDecodeStatus::kRecordsCutShort) {
    services_.messages.ShowMessage(file.message);
  }
  return SccLoadStatus::kLoaded;
}

void MainDialog::TakeSettings(SccSettings& s) {
  commands_.ClearCommands();
  ForEachStoredField(state_, s, [](auto& mine, const auto& stored) { CopyWhole(mine, stored); });
  log_name_from_file_ = true;
  log_place_agreed_ = false;
  ShowTitle();
  controls_.binCheck.SetCheck(s.bin != 0 ? 1 : 0);
  state_.m_inverse = s.inverse;
  OnReader([inverse = state_.m_inverse,
            settings = TextOf(state_.m_executeSettings)](CardChannel& reader) {
    reader.SetInverse(inverse);
    reader.ApplySettings(settings);
  });
  controls_.invCheck.SetCheck(state_.m_inverse != 0 ? 1 : 0);
  controls_.executeEdit.SetText(TextOf(state_.m_executeSettings));
  controls_.resetEdit.SetText(TextOf(state_.m_resetSettings));
}

int MainDialog::SaveConfig(const std::string& path) {
  CommandScript script;
  SccSettings& s = script.settings;
  ForEachStoredField(state_, s, [](const auto& mine, auto& stored) { CopyWhole(stored, mine); });
  s.bin = controls_.binCheck.GetCheck();
  s.inverse = state_.m_inverse;
  script.steps = commands_.Steps();
  RestoreListFileDetails(loaded_details_, script);
  const ScriptFileKind kind = KindForFileName(path);
  if (kind == ScriptFileKind::kScc) {
    // The SCC layout holds commands only: a script's Resets, expected answers and Les go.
    const SccLoss loss = LostInScc(script);
    if (loss.any() && !services_.questions.AskYesNo(SccLossQuestion(path, loss))) return 0;
  }
  switch (WriteFileReplacing(path, EncodeScriptFile(script, kind))) {
    case ReplaceResult::kReplaced:
      return 1;
    case ReplaceResult::kReadOnly:
      services_.messages.ShowMessage(std::string(kCouldNotSaveReadOnly) + "\n\n" + path);
      return 0;
    case ReplaceResult::kNotRegular:
      services_.messages.ShowMessage(std::string(kCouldNotSaveNotRegular) + "\n\n" + path);
      return 0;
    case ReplaceResult::kFailed:
      break;
  }
  services_.messages.ShowMessage(kCouldNotSave);
  return 0;
}

}  // namespace quorvel
