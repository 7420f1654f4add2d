#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "commands/card_command.h"
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
};

// The entry of a Reset that a command script put among the commands.
inline constexpr const char* kResetEntry = "Reset";

// The user's commands in the order they were made, mirrored one for one by the
// command list box below its fixed first entry "New Command": entry k >= 1
// shows record k-1. A list read from a command script may also hold Resets (a record
// that is null) and say what each command must answer.
class CommandList {
 public:
  explicit CommandList(ListBox& commandList);

  // Removes every record and its entry; "New Command" stays.
  void ClearCommands();
  // Adds the record at the tail and its entry at the end of the list box.
  void Append(std::unique_ptr<CardCommand> record);
  // A script's step: a command with what it must answer, or a Reset (no record).
  void AppendStep(std::unique_ptr<CardCommand> record, Expectation expect);
  // The record shown by list-box entry `entry`, or nullptr for "New Command",
  // no selection, a Reset or an entry without record.
  const CardCommand* RecordForEntry(int entry) const;
  bool IsResetEntry(int entry) const;
  // What the command of `entry` must answer; empty for none.
  const Expectation& ExpectationForEntry(int entry) const;
  std::size_t size() const { return records_.size(); }
  // Every step's record in list order; null for a Reset.
  const std::vector<std::unique_ptr<CardCommand>>& records() const { return records_; }
  const std::vector<Expectation>& expectations() const { return expectations_; }

  // The Edit button: runs the editor on a new record ("New Command" selected)
  // or on a copy of the selected record, and applies its result.
  void OnEdit(EditCommandRunner& editor);

 private:
  void EditNewCommand(EditCommandRunner& editor);
  void EditExistingCommand(EditCommandRunner& editor, int entry);

  ListBox& list_box_;
  std::vector<std::unique_ptr<CardCommand>> records_;
  std::vector<Expectation> expectations_;  // one for each record
};

}  // namespace quorvel
