#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/file_chooser.h"
#include "app/main_dialog_state.h"
#include "app/profile.h"
#include "app/yes_no_question.h"
#include "card/card_line.h"
#include "card/card_session.h"
#include "card/list_run.h"
#include "card/output_display.h"
#include "card/output_panel.h"
#include "commands/command_list.h"
#include "commands/list_file_details.h"
#include "commands/scc_file.h"
#include "controls/controls.h"
#include "port/clock.h"
#include "port/message_sink.h"
#include "port/serial_device.h"
#include "trace/window_trace.h"

namespace quorvel {

// The main window's caption.
class WindowTitle {
 public:
  virtual ~WindowTitle() = default;
  virtual void SetTitle(const std::string& title) = 0;
};

// The controls of the main window that its handlers work on.
struct MainDialogControls {
  ListBox& outputList;   // 1002
  ListBox& commandList;  // 1020
  CheckBox& binCheck;    // 1022 "Bin"
  CheckBox& invCheck;    // 1013 "Inv"
  EditBox& executeEdit;  // 1012
  EditBox& resetEdit;    // 1008
  EditBox& countEdit;    // 1003
};

// How the window follows the card's line work, which runs on a thread of its own so that the
// window never waits for the card.
class LineActivity {
 public:
  virtual ~LineActivity() = default;
  // Called on the line thread: have the window's thread call MainDialog::DeliverLineSteps.
  virtual void WakeWindow() = 0;
  // On the window's thread: an exchange began (its controls go off) or ended (back on).
  virtual void ExchangeRunning(bool running) = 0;
  // On the window's thread: the run line under the output list has something new to show.
  virtual void RunStatusChanged() = 0;
};

// What the main window's handlers need from the platform.
struct MainDialogServices {
  MessageSink& messages;
  FileChooser& files;
  EditCommandRunner& editor;
  WindowTitle& title;
  DeviceFactory& devices;
  Clock& clock;  // the fixed waits of Reset and Execute
  Profile& profile;
  YesNoQuestion& questions;
  // Null: Reset and Execute run on the caller's thread and return when they have ended.
  LineActivity* activity = nullptr;
};

// Texts of the program shown in the main window.
inline constexpr const char* kNewCommandEntry = "New Command";
inline constexpr const char* kLogHint = "Click Reset for new settings to take effect!";
inline constexpr const char* kCreateCommandHint = "Create a new command with Edit.";
inline constexpr const char* kCouldNotSave = "Could not save";
inline constexpr const char* kCouldNotSaveReadOnly = "Could not save: the file is read-only.";
inline constexpr const char* kCouldNotSaveNotRegular =
    "Could not save: the name is not a regular file's (a named pipe, a device, a folder or a "
    "socket), and only a file is ever replaced. It was left as it was.";
inline constexpr const char* kSccFilter =
    "SmartCard Configuration files (*.scc) | *.scc|All Files (*.*)|*.*||";
// Load and Save also offer command scripts, after the SCC file filters; Save writes the
// kind the name's end says.
inline constexpr const char* kCommandListFilter =
    "SmartCard Configuration files (*.scc) | *.scc|All Files (*.*)|*.*|"
    "Command scripts (*.txt)|*.txt||";
inline constexpr const char* kBinLogFilter = "log files (*.bin) | *.bin|All Files (*.*)|*.*||";
inline constexpr const char* kTextLogFilter = "log files (*.txt) | *.txt|All Files (*.*)|*.*||";
inline constexpr const char* kTraceFilter =
    "Packet captures (*.pcap) | *.pcap|All Files (*.*)|*.*||";
inline constexpr const char* kTraceOverOwnFile =
    "A trace cannot be written into the command list's file or the log file. Choose another "
    "file.";
inline constexpr const char* kKeepPinsQuestion =
    "Keep the PINs in the trace?\n\nTraces get attached to bug reports: with No, the data of "
    "VERIFY and of the other commands that carry a PIN is written as FF bytes of the same "
    "length. The log is not changed either way.";

// The switches of the command list's menu, kept in the profile.
inline constexpr const char* kOptionsSection = "options";
inline constexpr const char* kAutomaticResponsesKey = "auto-response";
inline constexpr const char* kStopAtFailureKey = "stop-at-failure";
inline constexpr const char* kSpeedNegotiationKey = "pps";
inline constexpr const char* kFullT0Key = "full-t0";

// Everything the main window does, over toolkit-free controls: start-up,
// the defaults, Reset, Execute, Edit, Browse, Load and Save, shut-down.
class MainDialog {
 public:
  MainDialog(const MainDialogControls& controls, const MainDialogServices& services);
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // With a file to follow (named on the command line), the port is opened only once OpenFile
  // has loaded it, with that file's settings.
  void OnInitDialog(bool fileFollows = false);
  void OnDestroy();

  void OnNew();
  void OnReset();
  void OnExecute();
  // The command list's menu: every command, or the selected one and those after it, each
  // as Execute runs it, in list order, the selection following the command running.
  void OnExecuteAll();
  void OnExecuteFromHere();
  // Ends a run after the command in progress.
  void OnStopRun();

  // Work of the card explorer on the line, which runs as a Reset or a command does: the
  // window's controls are off until it has ended, and every exchange it makes shows in the
  // output list, counted and logged. With `reset`, a Reset as the Reset button makes it
  // comes first (the output list emptied, the log created anew). The stop flag, which
  // OnStopRun sets, is cleared first; the work reads it from `line`. `ended` runs on the
  // window's thread once the controls are back on. False, and nothing done, while an exchange
  // runs.
  using CardWork = std::function<void(CardSession& session, CardLine& line)>;
  bool StartCardWork(bool reset, CardWork work, std::function<void()> ended);
  void OnEdit();
  void OnLoad();
  void OnSave();
  void OnBrowse();
  void OnInv();
  void OnKillFocusResetEdit();
  void OnKillFocusExecuteEdit();
  // A file named on the command line: loaded as Load loads a chosen file and remembered
  // the same way, by its absolute path, so the next start finds it from any folder.
  void OpenFile(const std::string& path);

  // 1 when the file was read, 0 when it could not be opened or was refused, after a
  // message naming the file and the reason.
  int LoadConfig(const std::string& path);
  // 1 when the file was written, 0 after "Could not save".
  int SaveConfig(const std::string& path);

  // A Reset, Execute or run is on the line; until it ends, nothing else may start one or
  // change what it uses.
  bool ExchangeRunning() const { return exchange_running_; }
  // Nothing is on the line or waiting to be shown: every handler's work has ended.
  bool LineIdle() const { return line_.Idle(); }
  // On the window's thread, when LineActivity::WakeWindow asked for it: shows what the line
  // has done since.
  void DeliverLineSteps() { line_.Deliver(); }
  // The run line: "Command 12 of 40, 3.2 s" while a run goes on, then its summary until the
  // next Reset or Execute; empty when there is nothing to show.
  std::string RunStatusText() const;
  bool RunInProgress() const { return run_.running; }

  void SetAutomaticResponses(bool on);
  bool automaticResponses() const { return automatic_responses_; }
  void SetSpeedNegotiation(bool on);
  bool speedNegotiation() const { return speed_negotiation_; }
  // "Follow every T=0 procedure byte": off, the exchange the line has always spoken.
  void SetFullT0(bool on);
  bool fullT0() const { return full_t0_; }
  void SetStopAtFailure(bool on) { stop_at_failure_ = on; }
  // "Record a trace...": asks for a pcap file and whether PINs stay in it, then records
  // every exchange from then on; while recording, it stops. Never kept in the profile.
  void OnRecordTrace();
  bool recordingTrace() const { return trace_.recording(); }
  // "Send to Wireshark (GSMTAP)": every exchange live to 127.0.0.1:4729, PINs masked.
  void SetSendingToWireshark(bool on);
  bool sendingToWireshark() const { return trace_.sending(); }
  bool stopAtFailure() const { return stop_at_failure_; }

  const MainDialogState& state() const { return state_; }
  // The output list's rows with their explanations.
  const OutputPanel& output() const { return output_; }
  const CommandList& commands() const { return commands_; }

 private:
  void ShowTitle();
  // What a Reset does before it goes to the line: the settings edits taken, the output list
  // emptied, the log created anew.
  void PrepareReset();
  // Opens the reader named by the Execute settings and applies them.
  void OpenReader();
  // LoadConfig; a file that is simply not there is passed over in silence when asked.
  SccLoadStatus LoadConfigFile(const std::string& path, bool quietWhenMissing);
  // A loaded file's settings into the window, its list emptied for its commands.
  void TakeSettings(SccSettings& settings);
  // Writes the current SCC path to the profile.
  void RememberConfigPath();
  // Creates the log for Reset, where the user agreed it may go.
  void OpenLogFile();
  // The SCC file chooser; a path too long to remember is refused with a message.
  std::optional<std::string> ChooseConfigPath(FileChooser::Mode mode);
  // Runs job on the line; the window's controls are off until it has ended, and then
  // `ended` runs on the window's thread.
  void StartExchange(std::function<void(CardSession&)> job, std::function<void()> ended = {});
  void ExchangeEnded();
  // Tells what the traces could not write since the last exchange.
  void ShowTraceFailures();
  // Runs an operation on the reader where the reader lives, after the jobs before it.
  void OnReader(std::function<void(CardChannel&)> operation);
  void ExecuteFrom(int firstEntry);
  void ForgetRunStatus();
  // Writes a switch to the profile where it differs from its default or is there already.
  void RememberSwitch(const char* key, bool on, bool byDefault);

  // The run of the list as the window shows it; only the window's thread touches it.
  struct RunStatus {
    bool running = false;
    int number = 0;  // the command running, from 1
    int count = 0;
    std::chrono::steady_clock::time_point began;
    std::string summary;  // once it has ended
  };

  MainDialogControls controls_;
  MainDialogServices services_;
  MainDialogState state_;
  OutputPanel output_;
  OutputPanelDisplay output_display_;
  WindowTrace trace_;  // the display the line's steps reach, traced on the way
  CommandList commands_;
  bool exchange_running_ = false;
  bool automatic_responses_ = false;
  bool stop_at_failure_ = true;
  bool speed_negotiation_ = false;
  bool full_t0_ = false;
  RunStatus run_;
  // The log name came from a loaded file, not from the user: it is created only
  // where the user agreed, and never through a symbolic link.
  bool log_name_from_file_ = false;
  bool log_place_agreed_ = false;  // a name outside the working folder, agreed to
  std::string title_trouble_;      // the log's trouble the title shows
  bool port_waits_for_file_ = false;
  // What the loaded file held beyond the settings and the list, written back by Save.
  ListFileDetails loaded_details_;
  // The reader and the session, on the line thread once it has started; last, so that it is
  // stopped before anything its jobs may use goes (the destructor stops it first anyway).
  CardLine line_;
};

}  // namespace quorvel
