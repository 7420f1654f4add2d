#include "commands/command_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/fake_controls.h"

namespace quorvel {
namespace {

using ::testing::ElementsAre;
using testing::FakeListBox;

// An editor that changes the record as a test says and ends with its result.
class ScriptedEditor final : public EditCommandRunner {
 public:
  ScriptedEditor(int result, std::function<void(CardCommand&)> edit = nullptr)
      : result_(result), edit_(std::move(edit)) {}
  int Run(CardCommand& record) override {
    ++runs;
    if (edit_) edit_(record);
    return result_;
  }
  int RunOnReset() override {
    ++resetRuns;
    return result_;
  }
  int runs = 0;
  int resetRuns = 0;

 private:
  int result_;
  std::function<void(CardCommand&)> edit_;
};

std::function<void(CardCommand&)> Named(const char* comment, std::uint8_t ins) {
  return [comment, ins](CardCommand& record) {
    std::strcpy(record.comment, comment);
    record.header[1] = ins;
  };
}

class CommandListTest : public ::testing::Test {
 protected:
  CommandListTest() {
    listBox.AddString("New Command");
    listBox.SetCurSel(0);
  }

  void AddThree() {
    for (auto [name, ins] : {std::pair{"A", 0xA1}, {"B", 0xB1}, {"C", 0xC1}}) {
      ScriptedEditor editor(EditCommandRunner::kOk, Named(name, static_cast<std::uint8_t>(ins)));
      commands.OnEdit(editor);
    }
  }

  std::vector<std::string> Comments() const {
    std::vector<std::string> comments;
    for (const auto& record : commands.records()) comments.emplace_back(record->comment);
    return comments;
  }

  FakeListBox listBox;
  CommandList commands{listBox};
};

TEST(CardCommandRecord, NewRecordIsZeroButByte88) {
  const CardCommand command = NewCardCommand();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&command);
  for (std::size_t i = 0; i < sizeof command; ++i) EXPECT_EQ(bytes[i], i == 88 ? 0x90 : 0) << i;
}

TEST(CardCommandRecord, EntryTextShowsCommentAndHeader) {
  CardCommand command = NewCardCommand();
  EXPECT_EQ(CommandEntryText(command), " (00 00 00 00 00)");
  const std::uint8_t header[5] = {0x00, 0xA4, 0x00, 0x0A, 0xFF};
  std::memcpy(command.header, header, 5);
  std::strcpy(command.comment, "Select MF");
  EXPECT_EQ(CommandEntryText(command), "Select MF (00 A4 00 0A FF)");

  // A comment loaded without its zero is read no further than 63 characters.
  std::memset(command.comment, 'z', sizeof command.comment);
  EXPECT_EQ(CommandEntryText(command), std::string(63, 'z') + " (00 A4 00 0A FF)");
  EXPECT_EQ(CommandEntryText(command).size(), 80u);
}

TEST_F(CommandListTest, OkOnNewCommandAppendsAndKeepsNewCommandSelected) {
  ScriptedEditor untouched(EditCommandRunner::kOk);
  commands.OnEdit(untouched);
  EXPECT_THAT(listBox.entries, ElementsAre("New Command", " (00 00 00 00 00)"));
  EXPECT_EQ(listBox.selection, 0);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands.records()[0]->reserved88[0], 0x90);

  AddThree();
  EXPECT_THAT(Comments(), ElementsAre("", "A", "B", "C"));
  EXPECT_EQ(listBox.GetText(4), "C (00 C1 00 00 00)");
}

TEST_F(CommandListTest, CancelOrDeleteOnNewCommandAddsNothing) {
  for (int result : {EditCommandRunner::kCancel, EditCommandRunner::kDelete, 0}) {
    ScriptedEditor editor(result, Named("dropped", 1));
    commands.OnEdit(editor);
  }
  EXPECT_EQ(commands.size(), 0u);
  EXPECT_THAT(listBox.entries, ElementsAre("New Command"));
  EXPECT_EQ(listBox.selection, 0);
}

TEST_F(CommandListTest, NoSelectionOpensNoEditor) {
  AddThree();
  listBox.SetCurSel(ListBox::kError);
  ScriptedEditor editor(EditCommandRunner::kOk);
  commands.OnEdit(editor);
  EXPECT_EQ(editor.runs, 0);
  EXPECT_EQ(commands.size(), 3u);
}

TEST_F(CommandListTest, OkOnAnExistingCommandReplacesItInPlaceAndKeepsItSelected) {
  AddThree();
  listBox.SetCurSel(2);
  const CardCommand* before = commands.RecordForEntry(2);
  ScriptedEditor editor(EditCommandRunner::kOk, Named("B2", 0xB2));
  commands.OnEdit(editor);

  EXPECT_THAT(Comments(), ElementsAre("A", "B2", "C"));
  EXPECT_THAT(listBox.entries, ElementsAre("New Command", "A (00 A1 00 00 00)",
                                           "B2 (00 B2 00 00 00)", "C (00 C1 00 00 00)"));
  EXPECT_EQ(commands.RecordForEntry(2), before) << "the record changes in place";
  EXPECT_EQ(listBox.selection, 2);
  EXPECT_EQ(listBox.caret, 2);
}

TEST_F(CommandListTest, CancelOnAnExistingCommandDiscardsEveryChange) {
  AddThree();
  listBox.SetCurSel(1);
  const CardCommand saved = *commands.RecordForEntry(1);
  ScriptedEditor editor(EditCommandRunner::kCancel, [](CardCommand& record) {
    record.direction = kToCard;
    std::strcpy(record.comment, "changed");
  });
  commands.OnEdit(editor);
  EXPECT_EQ(std::memcmp(commands.RecordForEntry(1), &saved, sizeof saved), 0);
  EXPECT_EQ(listBox.GetText(1), "A (00 A1 00 00 00)");
  EXPECT_EQ(listBox.selection, 1);
}

TEST_F(CommandListTest, DeleteRemovesTheRecordAndSelectsNewCommand) {
  AddThree();
  listBox.SetCurSel(2);
  ScriptedEditor editor(EditCommandRunner::kDelete);
  commands.OnEdit(editor);
  EXPECT_THAT(Comments(), ElementsAre("A", "C"));
  EXPECT_THAT(listBox.entries,
              ElementsAre("New Command", "A (00 A1 00 00 00)", "C (00 C1 00 00 00)"));
  EXPECT_EQ(listBox.selection, 0);
}

TEST_F(CommandListTest, RecordForEntryFollowsTheIndexRule) {
  AddThree();
  EXPECT_EQ(commands.RecordForEntry(0), nullptr);
  EXPECT_EQ(commands.RecordForEntry(ListBox::kError), nullptr);
  EXPECT_EQ(commands.RecordForEntry(4), nullptr);
  EXPECT_STREQ(commands.RecordForEntry(3)->comment, "C");
}

TEST_F(CommandListTest, ClearCommandsLeavesOnlyNewCommand) {
  commands.ClearCommands();
  EXPECT_THAT(listBox.entries, ElementsAre("New Command"));
  AddThree();
  commands.ClearCommands();
  EXPECT_EQ(commands.size(), 0u);
  EXPECT_THAT(listBox.entries, ElementsAre("New Command"));
  EXPECT_EQ(listBox.selection, 0);
}

TEST_F(CommandListTest, AppendKeepsLoadedRecordsWhole) {
  auto record = std::make_unique<CardCommand>(NewCardCommand());
  std::memset(record->reserved345, 0x5A, sizeof record->reserved345);
  record->direction = 9;
  commands.Append(std::move(record));
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands.RecordForEntry(1)->reserved345[274], 0x5A);
  EXPECT_EQ(commands.RecordForEntry(1)->direction, 9);
  EXPECT_EQ(listBox.GetText(1), " (00 00 00 00 00)");
}

// A script's step: SELECT by name with data 3F 00 and a case 4 Le, under a comment line.
ScriptStep SelectStep() {
  ScriptStep step;
  step.command = std::make_unique<CardCommand>(NewCardCommand());
  std::memcpy(step.command->header, "\x00\xA4\x04\x00\x02", 5);
  step.command->direction = kToCard;
  step.command->data[0] = 0x3F;
  step.le = 256;
  step.sccCommentEnd = 'z';
  step.commentsBefore = {" select"};
  return step;
}

TEST_F(CommandListTest, AResetEntryIsKeptOrDeletedThroughEdit) {
  commands.AppendStep(nullptr, Expectation{});
  AddThree();
  listBox.SetCurSel(1);
  for (const int result : {EditCommandRunner::kOk, EditCommandRunner::kCancel}) {
    ScriptedEditor keep(result);
    commands.OnEdit(keep);
    EXPECT_EQ(keep.resetRuns, 1);
    EXPECT_TRUE(commands.IsResetEntry(1));
  }
  ScriptedEditor remove(EditCommandRunner::kDelete);
  commands.OnEdit(remove);
  EXPECT_EQ(remove.runs, 0) << "no record to edit";
  EXPECT_THAT(Comments(), ElementsAre("A", "B", "C"));
  EXPECT_EQ(listBox.GetText(1), "A (00 A1 00 00 00)");
}

TEST_F(CommandListTest, AnEntryKeepsItsStepsDetailsUntilAnEditMakesThemWrong) {
  struct Case {
    const char* what;
    std::function<void(CardCommand&)> edit;
    bool leKept, commentEndKept;
  } cases[] = {
      {"nothing", nullptr, true, true},
      {"the instruction", [](CardCommand& r) { r.header[2] = 0x08; }, true, true},
      {"the comment", [](CardCommand& r) { r.comment[0] = 'x'; }, true, false},
      {"the data", [](CardCommand& r) { r.data[1] = 0x01; }, false, true},
      {"a byte past P3", [](CardCommand& r) { r.data[2] = 0x01; }, true, true},
      {"P3", [](CardCommand& r) { r.header[4] = 1; }, false, true},
      {"the direction", [](CardCommand& r) { r.direction = kFromCard; }, false, true},
  };
  for (const Case& c : cases) {
    commands.ClearCommands();
    commands.AppendStep(SelectStep());
    EXPECT_EQ(commands.LeForEntry(1), 256);
    listBox.SetCurSel(1);
    ScriptedEditor editor(EditCommandRunner::kOk, c.edit);
    commands.OnEdit(editor);
    const std::vector<ScriptStep> steps = commands.Steps();
    EXPECT_EQ(commands.LeForEntry(1).has_value(), c.leKept) << c.what;
    EXPECT_EQ(steps[0].le.has_value(), c.leKept) << c.what;
    EXPECT_EQ(steps[0].sccCommentEnd.has_value(), c.commentEndKept) << c.what;
    EXPECT_THAT(steps[0].commentsBefore, ElementsAre(" select")) << c.what;
  }
}

}  // namespace
}  // namespace quorvel
