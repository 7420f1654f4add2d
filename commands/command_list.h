#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "commands/card_command.h"
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

// The user's commands in the order they were made, mirrored one for one by the
// command list box below its fixed first entry "New Command": entry k >= 1
// shows record k-1.
class CommandList {
 public:
  explicit CommandList(ListBox& commandList);

  // Removes every record and its entry; "New Command" stays.
  void ClearCommands();
  // Adds the record at the tail and its entry at the end of the list box.
  void Append(std::unique_ptr<CardCommand> record);
  // The record shown by list-box entry `entry`, or nullptr for "New Command",
  // no selection or an entry without record.
  const CardCommand* RecordForEntry(int entry) const;
  std::size_t size() const { return records_.size(); }
  const std::vector<std::unique_ptr<CardCommand>>& records() const { return records_; }

  // The Edit button: runs the editor on a new record ("New Command" selected)
  // or on a copy of the selected record, and applies its result.
  void OnEdit(EditCommandRunner& editor);

 private:
  void EditNewCommand(EditCommandRunner& editor);
  void EditExistingCommand(EditCommandRunner& editor, int entry);

  ListBox& list_box_;
  std::vector<std::unique_ptr<CardCommand>> records_;
};

}  // namespace quorvel
