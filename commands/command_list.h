#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/card_command.h"
#include "commands/command_script.h"
#include "commands/script_expectation.h"
#include "controls/controls.h"

namespace quorvel {

// Runs the Edit Command dialog modally on a record the caller owns.
class EditCommandRunner {
 public:
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;
  static constexpr int kDelete = 3;

  virtual ~EditCommandRunner() = default;
  // 1 OK, 2 Cancel, 3 Delete.
  virtual int Run(CardCommand& record) = 0;
  // The dialog on a script's Reset entry, which has nothing to change: 1 OK or 2 Cancel
  // keep it, 3 Delete removes it.
  virtual int RunOnReset() = 0;
};

// The entry of a Reset that a command script put among the commands.
inline constexpr const char* kResetEntry = "Reset";

// The user's commands in the order they were made, mirrored one for one by the
// command list box below its fixed first entry "New Command": entry k >= 1
// shows record k-1. A list read from a command script may also hold Resets (a record
// that is null) and say what each command must answer; each entry also keeps what its
// script step carried beside the record (its case 4 Le, the comment lines above it, the
// byte of an SCC comment without a zero), so that saving the list writes them back.
class CommandList {
 public:
  explicit CommandList(ListBox& commandList);

  // Removes every record and its entry; "New Command" stays.
  void ClearCommands();
  // Adds the record at the tail and its entry at the end of the list box.
  void Append(std::unique_ptr<CardCommand> record);
  // A script's step: a command with what it must answer, or a Reset (no record).
  void AppendStep(std::unique_ptr<CardCommand> record, Expectation expect);
  // A script's step with everything it carries.
  void AppendStep(ScriptStep step);
  // The record shown by list-box entry `entry`, or nullptr for "New Command",
  // no selection, a Reset or an entry without record.
  const CardCommand* RecordForEntry(int entry) const;
  bool IsResetEntry(int entry) const;
  // What the command of `entry` must answer; empty for none.
  const Expectation& ExpectationForEntry(int entry) const;
  // The Le after the data of a case 4 command (1 to 256); nothing for any other entry.
  std::optional<std::uint16_t> LeForEntry(int entry) const;
  // Every entry as a script's step, in list order, with what it carries.
  std::vector<ScriptStep> Steps() const;
  std::size_t size() const { return records_.size(); }
  // Every step's record in list order; null for a Reset.
  const std::vector<std::unique_ptr<CardCommand>>& records() const { return records_; }
  const std::vector<Expectation>& expectations() const { return expectations_; }

  // The Edit button: runs the editor on a new record ("New Command" selected), on a copy
  // of the selected record, or on a Reset entry, and applies its result. An edit that
  // changes a command's direction, P3 or data drops its Le, which was about that data; one
  // that changes its comment drops the byte an SCC comment without a zero held last.
  void OnEdit(EditCommandRunner& editor);

 private:
  // What an entry carries beside its record and expectation.
  struct StepDetails {
    std::optional<std::uint16_t> le;
    std::optional<std::uint8_t> sccCommentEnd;
    std::vector<std::string> commentsBefore;
  };

  void EditNewCommand(EditCommandRunner& editor);
  void EditExistingCommand(EditCommandRunner& editor, int entry);
  void DeleteEntry(int entry);

  ListBox& list_box_;
  std::vector<std::unique_ptr<CardCommand>> records_;
  std::vector<Expectation> expectations_;  // one for each record
  std::vector<StepDetails> details_;       // one for each record
};

}  // namespace quorvel
