#include "commands/command_list.h"

#include <cstring>
#include <utility>

namespace quorvel {
namespace {

// Whether the record sends other bytes than before: its direction, P3 or data.
bool SendsOtherwise(const CardCommand& before, const CardCommand& after) {
  if (before.direction != after.direction || before.p3() != after.p3()) return true;
  return after.direction == kToCard && std::memcmp(before.data, after.data, after.p3()) != 0;
}

}  // namespace

CommandList::CommandList(ListBox& commandList) : list_box_(commandList) {}

void CommandList::ClearCommands() {
  // Entry 1 is always the first record's: deleting it len times leaves "New Command".
  for (std::size_t i = 0; i < records_.size(); ++i) list_box_.DeleteString(1);
  records_.clear();
  expectations_.clear();
  details_.clear();
}

void CommandList::Append(std::unique_ptr<CardCommand> record) {
  AppendStep(std::move(record), Expectation{});
}

void CommandList::AppendStep(std::unique_ptr<CardCommand> record, Expectation expect) {
  ScriptStep step;
  step.command = std::move(record);
  step.expect = std::move(expect);
  AppendStep(std::move(step));
}

void CommandList::AppendStep(ScriptStep step) {
  list_box_.AddString(step.command ? CommandEntryText(*step.command) : kResetEntry);
  records_.push_back(std::move(step.command));
  expectations_.push_back(std::move(step.expect));
  details_.push_back({step.le, step.sccCommentEnd, std::move(step.commentsBefore)});
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

std::optional<std::uint16_t> CommandList::LeForEntry(int entry) const {
  if (entry < 1 || static_cast<std::size_t>(entry) > details_.size()) return std::nullopt;
  return details_[static_cast<std::size_t>(entry) - 1].le;
}

std::vector<ScriptStep> CommandList::Steps() const {
  std::vector<ScriptStep> steps(records_.size());
  for (std::size_t i = 0; i < records_.size(); ++i) {
    ScriptStep& step = steps[i];
    if (records_[i]) step.command = std::make_unique<CardCommand>(*records_[i]);
    step.expect = expectations_[i];
    step.le = details_[i].le;
    step.sccCommentEnd = details_[i].sccCommentEnd;
    step.commentsBefore = details_[i].commentsBefore;
  }
  return steps;
}

void CommandList::OnEdit(EditCommandRunner& editor) {
  const int entry = list_box_.GetCurSel();
  if (entry == ListBox::kError) return;
  if (entry == 0) {
    EditNewCommand(editor);
  } else if (RecordForEntry(entry) != nullptr) {
    EditExistingCommand(editor, entry);
  } else if (IsResetEntry(entry) && editor.RunOnReset() == EditCommandRunner::kDelete) {
    DeleteEntry(entry);
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
    StepDetails& details = details_[index];
    if (SendsOtherwise(*records_[index], copy)) details.le.reset();
    if (std::memcmp(records_[index]->comment, copy.comment, sizeof copy.comment) != 0)
      details.sccCommentEnd.reset();
    *records_[index] = copy;
    // The new text goes in above the old entry, which moves down and is deleted.
    list_box_.InsertString(entry, CommandEntryText(copy));
    list_box_.DeleteString(entry + 1);
    list_box_.SetCaretIndex(entry);
    // Keep the edited command selected, so Execute runs it next.
    list_box_.SetCurSel(entry);
  } else if (result == EditCommandRunner::kDelete) {
    DeleteEntry(entry);
  }
}

void CommandList::DeleteEntry(int entry) {
  const auto index = static_cast<std::ptrdiff_t>(entry) - 1;
  records_.erase(records_.begin() + index);
  expectations_.erase(expectations_.begin() + index);
  details_.erase(details_.begin() + index);
  list_box_.DeleteString(entry);
  list_box_.SetCurSel(0);
}

}  // namespace quorvel
