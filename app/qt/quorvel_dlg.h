#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <vector>

#include "app/main_dialog.h"
#include "app/qt/qt_controls.h"
#include "app/qt/qt_services.h"
#include "explore/pin_question.h"
#include "res/qt/dialog_builder.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace quorvel::gui {

class CExplorerWindow;

// Opens the About box.
class AboutBoxOpener {
 public:
  virtual ~AboutBoxOpener() = default;
  virtual void OpenAbout(QWidget* parent) = 0;
};

// What the main window is built with. The modal services default to the real
// dialogs over this window; tests put their own in place.
struct MainWindowDeps {
  DeviceFactory& devices;
  Clock& clock;
  Profile& profile;
  MessageSink* messages = nullptr;
  FileChooser* files = nullptr;
  EditCommandRunner* editor = nullptr;
  AboutBoxOpener* about = nullptr;
  YesNoQuestion* questions = nullptr;
  Clipboard* clipboard = nullptr;
  PinQuestion* pins = nullptr;  // the card explorer's "Verify PIN1..."
  bool fileFollows = false;     // a file named at start-up is opened next, with its port
};

// The main window: dialog 102 over the program's logic. It only wires widgets
// to handlers; every decision is MainDialog's.
class CQuorvelDlg final : public QDialog, private WindowTitle, private LineActivity {
  Q_OBJECT

 public:
  explicit CQuorvelDlg(const MainWindowDeps& deps, QWidget* parent = nullptr);
  ~CQuorvelDlg() override;

  // The window menu's commands: "&About" (0x10, low four bits ignored) opens
  // the About box, Close (0xF060) ends the dialog like the close box.
  void OnSysCommand(unsigned command);
  void OnLogoClicked();

  MainDialog& logic() { return *logic_; }
  QWidget* Control(int id) const { return built_.Control(id); }
  QWidget* Logo() const;
  QMenu* WindowMenu();
  // The output list's own menu: "Copy" and "Copy with explanations" of the selected rows.
  QMenu* OutputMenu();
  // The selected output rows to the clipboard as the text log has them; with
  // explanations, each row's explanation under it.
  void CopySelectedRows(bool withExplanations);
  // The command list's own menu: "Execute &all", "Execute &from here" and the run's switches.
  QMenu* CommandMenu();
  // The line under the output list that follows a run of the list, and its Stop button.
  QLabel* RunLine() const { return run_text_; }
  QPushButton* StopButton() const { return stop_button_; }
  QAction* AutomaticResponsesAction() const { return automatic_responses_; }
  QAction* StopAtFailureAction() const { return stop_at_failure_; }
  QAction* SpeedNegotiationAction() const { return speed_negotiation_; }
  QAction* FullT0Action() const { return full_t0_; }
  // The window menu's traces: "Record a trace..." and "Send to Wireshark (GSMTAP)", each
  // checked while it goes on.
  QAction* RecordTraceAction() const { return record_trace_; }
  QAction* SendToWiresharkAction() const { return send_to_wireshark_; }
  // The window menu's "Explore the card...": opens the card explorer beside this window (one
  // at a time), which walks the card at once the first time.
  QAction* ExploreAction() const { return explore_; }
  void OpenExplorer();
  // The card explorer, once opened; null before.
  CExplorerWindow* Explorer() const { return explorer_.get(); }

  // Quit, Enter, Escape and the close box end the window once the exchange in progress
  // has ended: a Reset or a command is never cut off, and a run stops after its command.
  void done(int result) override;

  // Shows what the line has done since it last woke the window; posted by name from the line
  // thread, so that nothing but the call crosses between the threads.
  Q_INVOKABLE void DeliverLineSteps();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SetTitle(const std::string& title) override;
  void WakeWindow() override;
  void ExchangeRunning(bool running) override;
  void RunStatusChanged() override;
  void BuildRunControls();
  void BuildTraceControls();
  // The trace items' checks as the traces stand: a failed write may have stopped one.
  void ShowTraceState();
  // The run line takes the bottom of the details pane's place while it has something to say.
  void PlaceRunLine();
  void BuildWindowMenu();
  void ConnectButtons();
  void SetUpOutputList();
  // The smallest window: the template's size, wider where the output list's font needs
  // more room for a full row of 16 bytes.
  QSize SmallestSize() const;
  void RestoreWindowSize();
  void RememberWindowSize();
  std::vector<int> SelectedOutputRows() const;
  // The row whose explanation the details pane shows, or -1.
  int DetailsRow() const;
  void ShowDetails();

  BuiltDialog built_;
  ListViewBox output_list_;
  ListViewBox command_list_;
  ButtonCheckBox bin_check_;
  ButtonCheckBox inv_check_;
  LineEditBox execute_edit_;
  LineEditBox reset_edit_;
  LineEditBox count_edit_;

  // Real services, used where the caller gives none.
  std::unique_ptr<MessageSink> own_messages_;
  std::unique_ptr<FileChooser> own_files_;
  std::unique_ptr<EditCommandRunner> own_editor_;
  std::unique_ptr<AboutBoxOpener> own_about_;
  std::unique_ptr<YesNoQuestion> own_questions_;
  std::unique_ptr<Clipboard> own_clipboard_;
  std::unique_ptr<PinQuestion> own_pins_;
  MessageSink* messages_;
  FileChooser* files_;
  PinQuestion* pins_;
  AboutBoxOpener* about_;
  Clipboard* clipboard_;
  Profile& profile_;

  QPlainTextEdit* details_;
  int details_row_ = -1;  // the row the details pane shows
  QMenu* window_menu_ = nullptr;
  QMenu* output_menu_ = nullptr;
  QMenu* command_menu_ = nullptr;
  QAction* automatic_responses_ = nullptr;
  QAction* stop_at_failure_ = nullptr;
  QAction* speed_negotiation_ = nullptr;
  QAction* full_t0_ = nullptr;
  QAction* record_trace_ = nullptr;
  QAction* send_to_wireshark_ = nullptr;
  QAction* explore_ = nullptr;
  QWidget* run_line_ = nullptr;
  QLabel* run_text_ = nullptr;
  QPushButton* stop_button_ = nullptr;
  QTimer* run_clock_ = nullptr;        // moves the elapsed time on while a run goes on
  std::optional<int> pending_result_;  // the window ends with it once the exchange has ended
  std::unique_ptr<MainDialog> logic_;
  // Its work runs on the logic's line: it goes once the line has ended, before the logic.
  std::unique_ptr<CExplorerWindow> explorer_;
};

}  // namespace quorvel::gui
