#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/file_chooser.h"
#include "app/main_dialog.h"
#include "explore/explorer_tree.h"
#include "explore/pin1_outlook.h"
#include "explore/pin_question.h"
#include "port/message_sink.h"
#include "sim/card_walk.h"
#include "sim/pin_verification.h"

namespace quorvel {

// The explorer window as its logic sees it.
class ExplorerView {
 public:
  virtual ~ExplorerView() = default;
  // The walk, the status lines or what may be clicked changed: show them again.
  virtual void ExplorerChanged() = 0;
};

struct ExplorerServices {
  MainDialog& main;  // its line, its output list, counter and log
  MessageSink& messages;
  PinQuestion& pins;
  FileChooser& files;
};

inline constexpr const char* kJsonLinesFilter =
    "JSON lines (*.jsonl) | *.jsonl|All Files (*.*)|*.*||";

// "Explore the card...": walks the card's SIM or USIM files on the main window's line, as
// Execute all runs there (every exchange in the output list, counted and logged; the window
// stays live; Stop ends the walk between two commands), and keeps the walk for the tree.
// "Verify PIN1..." tells the tries left, asks for the PIN, sends it once with VERIFY and,
// once verified, walks again without a Reset. Nothing of it is kept in the profile.
//
// It must outlive the line's jobs: its owner ends the main window's line before it goes.
class CardExplorer {
 public:
  CardExplorer(const ExplorerServices& services, ExplorerView& view);
  CardExplorer(const CardExplorer&) = delete;
  CardExplorer& operator=(const CardExplorer&) = delete;

  // A Reset, then the walk. The status lines say so when the line is busy.
  void OnWalk();
  void OnVerifyPin1();
  // Ends the walk after the command in progress.
  void OnStop();
  // Writes every file of the walk as JSON lines to a file the user chooses.
  void OnExportJson();

  bool running() const { return running_; }
  bool canVerify() const { return !running_ && walk_.reached; }
  bool canExport() const { return !running_ && !walk_.files.empty(); }
  const CardWalk& walk() const { return walk_; }
  // Counts the walks taken in, so a view redraws its tree only for a new one.
  int walkNumber() const { return walk_number_; }
  // The status lines under the tree: the walk's summary, then what the PIN came to.
  std::vector<std::string> StatusLines() const;

 private:
  // What a piece of work on the line hands back, read once it has ended.
  struct Outcome {
    std::string why;  // the card was never reached
    std::optional<CardWalk> walk;
    std::optional<Pin1Outlook> outlook;
    std::optional<PinVerification> verified;
  };
  // Starts `work` on the line; once it has ended, what it left in the outcome is taken in.
  void Start(bool reset, std::function<void(CardSession&, CardLine&, Outcome&)> work,
             std::string doing);
  void Ended(Outcome& outcome);
  void AskAndVerify(const Pin1Outlook& outlook);

  ExplorerServices services_;
  ExplorerView& view_;
  CardWalk walk_;
  int walk_number_ = 0;
  bool running_ = false;
  std::string doing_;  // what runs now, or why nothing could
  std::string pin_;    // what the last verification came to (never the PIN)
};

}  // namespace quorvel
