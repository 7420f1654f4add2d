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

}  // namespace
}  // namespace quorvel
