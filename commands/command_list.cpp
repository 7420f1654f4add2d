#include "commands/command_list.h"

#include <utility>

namespace quorvel {

CommandList::CommandList(ListBox& commandList) : list_box_(commandList) {}

void CommandList::ClearCommands() {
  // Entry 1 is always the first record's: deleting it len times leaves "New Command".
  for (std::size_t i = 0; i < records_.size(); ++i) list_box_.DeleteString(1);
  records_.clear();
  expectations_.clear();
}

void CommandList::Append(std::unique_ptr<CardCommand> record) {
  AppendStep(std::move(record), Expectation{});
}

void CommandList::AppendStep(std::unique_ptr<CardCommand> record, Expectation expect) {
  list_box_.AddString(record ? CommandEntryText(*record) : kResetEntry);
  records_.push_back(std::move(record));
  expectations_.push_back(std::move(expect));
}

const CardCommand* CommandList::RecordForEntry(int entry) const {
  if (entry < 1 || static_cast<std::size_t>(entry) > records_.size()) return nullptr;
  return records_[static_cast<std::size_t>(entry) - 1].get();
}

bool CommandList::IsResetEntry(int entry) const {
  return entry >= 1 && static_cast<std::size_t>(entry) <= records_.size() &&
         records_[static_cast<std::size_t>(entry) - 1] == nullptr;
}

const Expectation& CommandList::ExpectationForEntry(int entry) const {
  static const Expectation kNone;
  if (entry < 1 || static_cast<std::size_t>(entry) > expectations_.size()) return kNone;
  return expectations_[static_cast<std::size_t>(entry) - 1];
}

void CommandList::OnEdit(EditCommandRunner& editor) {
  const int entry = list_box_.GetCurSel();
  if (entry == ListBox::kError) return;
  if (entry == 0) {
    EditNewCommand(editor);
  } else if (RecordForEntry(entry) != nullptr) {
    EditExistingCommand(editor, entry);
  }
}

void CommandList::EditNewCommand(EditCommandRunner& editor) {
  auto record = std::make_unique<CardCommand>(NewCardCommand());
  // The selection stays on "New Command", so the next Edit makes another one;
  // Cancel and Delete simply drop the new record.
  if (editor.Run(*record) == EditCommandRunner::kOk) Append(std::move(record));
}

void CommandList::EditExistingCommand(EditCommandRunner& editor, int entry) {
  // The editor works on a copy: whatever it changed is lost unless it ends with OK.
  CardCommand copy = *RecordForEntry(entry);
  const int result = editor.Run(copy);
  const std::size_t index = static_cast<std::size_t>(entry) - 1;
  if (result == EditCommandRunner::kOk) {
    *records_[index] = copy;
    // The new text goes in above the old entry, which moves down and is deleted.
    list_box_.InsertString(entry, CommandEntryText(copy));
    list_box_.DeleteString(entry + 1);
    list_box_.SetCaretIndex(entry);
    // Keep the edited command selected, so Execute runs it next.
    list_box_.SetCurSel(entry);
  } else if (result == EditCommandRunner::kDelete) {
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
    expectations_.erase(expectations_.begin() + static_cast<std::ptrdiff_t>(index));
    list_box_.DeleteString(entry);
    list_box_.SetCurSel(0);
  }
}

}  // namespace quorvel
