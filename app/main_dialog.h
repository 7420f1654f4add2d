#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/file_chooser.h"
#include "app/main_dialog_state.h"
#include "app/profile.h"
#include "app/yes_no_question.h"
#include "card/card_session.h"
#include "card/output_panel.h"
#include "commands/command_list.h"
#include "commands/scc_file.h"
#include "controls/controls.h"
#include "port/card_port.h"
#include "port/clock.h"
#include "port/message_sink.h"
#include "port/serial_device.h"

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
};

// Texts of the program shown in the main window.
inline constexpr const char* kNewCommandEntry = "New Command";
inline constexpr const char* kLogHint = "Click Reset for new settings to take effect!";
inline constexpr const char* kCreateCommandHint = "Create a new command with Edit.";
inline constexpr const char* kCouldNotSave = "Could not save";
inline constexpr const char* kCouldNotSaveReadOnly = "Could not save: the file is read-only.";
inline constexpr const char* kDefaultLogFileName = "test.txt";
inline constexpr const char* kDefaultSettings = "COM2: baud=9600 parity=E data=8 stop=2";
inline constexpr const char* kDefaultAltSettings = "COM2: baud=10472 parity=E data=8 stop=2";
inline constexpr const char* kSccFilter =
    "SmartCard Configuration files (*.scc) | *.scc|All Files (*.*)|*.*||";
inline constexpr const char* kBinLogFilter = "log files (*.bin) | *.bin|All Files (*.*)|*.*||";
inline constexpr const char* kTextLogFilter = "log files (*.txt) | *.txt|All Files (*.*)|*.*||";

// Everything the main window does, over toolkit-free controls: start-up,
// the defaults, Reset, Execute, Edit, Browse, Load and Save, shut-down.
class MainDialog {
 public:
  MainDialog(const MainDialogControls& controls, const MainDialogServices& services);
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  void OnInitDialog();
  void OnDestroy();

  void OnNew();
  void OnReset();
  void OnExecute();
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

  const MainDialogState& state() const { return state_; }
  // The output list's rows with their explanations.
  const OutputPanel& output() const { return output_; }
  const CommandList& commands() const { return commands_; }

 private:
  void ShowTitle();
  // LoadConfig; a file that is simply not there is passed over in silence when asked.
  SccLoadStatus LoadConfigFile(const std::string& path, bool quietWhenMissing);
  // Writes the current SCC path to the profile.
  void RememberConfigPath();
  // Creates the log for Reset, where the user agreed it may go.
  void OpenLogFile();
  // The SCC file chooser; a path too long to remember is refused with a message.
  std::optional<std::string> ChooseConfigPath(FileChooser::Mode mode);

  MainDialogControls controls_;
  MainDialogServices services_;
  MainDialogState state_;
  OutputPanel output_;
  CommandList commands_;
  std::unique_ptr<CCardPort> port_;
  // The log name came from a loaded file, not from the user: it is created only
  // where the user agreed, and never through a symbolic link.
  bool log_name_from_file_ = false;
  bool log_place_agreed_ = false;  // a name outside the working folder, agreed to
  std::unique_ptr<CardSession> session_;
};

}  // namespace quorvel
