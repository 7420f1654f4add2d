#include "commands/qt/edit_command_dlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstring>
#include <functional>

#include "commands/command_list.h"
#include "support/fake_controls.h"
#include "support/recording_message_sink.h"

namespace quorvel::gui {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The dialog shown (not run modally), so a test can type and click in it.
class ShownDialog {
 public:
  ShownDialog(CardCommand& record, quorvel::testing::RecordingMessageSink& messages,
              bool resetEntry = false)
      : dialog(nullptr, messages) {
    dialog.m_pCommand = &record;
    dialog.m_resetEntry = resetEntry;
    dialog.show();
  }

  template <class T>
  T* Control(int id) {
    return dialog.findChild<T*>(QStringLiteral("control%1").arg(id));
  }
  QLineEdit* Header() { return Control<QLineEdit>(1003); }
  QLineEdit* Comment() { return Control<QLineEdit>(1012); }
  QPlainTextEdit* Data() { return Control<QPlainTextEdit>(1008); }
  QRadioButton* ToCard() { return Control<QRadioButton>(1017); }
  QRadioButton* FromCard() { return Control<QRadioButton>(1018); }
  void Click(int id) { Control<QPushButton>(id)->click(); }
  void Press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
  }
  void Type(const char* header, const char* comment, const char* data) {
    Header()->setText(QString::fromUtf8(header));
    Comment()->setText(QString::fromUtf8(comment));
    Data()->setPlainText(QString::fromUtf8(data));
  }
  bool Open() const { return dialog.isVisible(); }
  int Result() const { return dialog.result(); }

  CEditCommandDlg dialog;
};

class EditCommandDlgTest : public ::testing::Test {
 protected:
  CardCommand ToCardCommand(unsigned p3) {
    CardCommand command = NewCardCommand();
    command.header[0] = 0x00;
    command.header[1] = 0xD6;
    command.header[4] = static_cast<std::uint8_t>(p3);
    command.direction = kToCard;
    for (unsigned i = 0; i < 255; ++i) command.data[i] = static_cast<std::uint8_t>(0xF0 + i);
    std::strcpy(command.comment, "update");
    return command;
  }

  quorvel::testing::RecordingMessageSink messages;
};

TEST_F(EditCommandDlgTest, OpensWithTheRecordAsText) {
  CardCommand command = ToCardCommand(10);
  ShownDialog shown(command, messages);
  EXPECT_EQ(shown.dialog.windowTitle(), "Edit Command");
  EXPECT_EQ(shown.Header()->text(), "00 D6 00 00 0A");
  EXPECT_EQ(shown.Comment()->text(), "update");
  EXPECT_EQ(shown.Data()->toPlainText(), "F0 F1 F2 F3 F4 F5 F6 F7 \nF8 F9 \n");
  EXPECT_TRUE(shown.ToCard()->isChecked());
  EXPECT_FALSE(shown.FromCard()->isChecked());
}

TEST_F(EditCommandDlgTest, ACommentIsShownAsTextAndOkWithoutAChangeGivesBackItsBytes) {
  struct Case {
    std::string bytes;  // as an SCC file holds them
    const char* shown;
  };
  const Case cases[] = {
      {"Pr\xFC"
       "fung \x80 5",
       "Prüfung € 5"},  // written on Windows
      {"Pr\xC3\xBC"
       "fung",
       "Prüfung"},                               // UTF-8
      {"\x81\x8D\x9D", "\u0081\u008D\u009D"},    // bytes the code page leaves unassigned
      {std::string(62, 'x') + "\xE9", nullptr},  // as long as a comment gets
  };
  for (const Case& c : cases) {
    CardCommand command = ToCardCommand(0);
    std::memset(command.comment, 0x55, sizeof command.comment);
    std::memcpy(command.comment, c.bytes.c_str(), c.bytes.size() + 1);
    const CardCommand before = command;
    ShownDialog shown(command, messages);
    if (c.shown != nullptr) {
      EXPECT_EQ(shown.Comment()->text().toStdString(), c.shown);
    }
    shown.Click(1);
    EXPECT_EQ(shown.Result(), 1);
    EXPECT_EQ(std::memcmp(command.comment, before.comment, sizeof command.comment), 0) << c.bytes;
  }
  // A changed comment that the code page can hold stays in it.
  CardCommand command = ToCardCommand(0);
  std::strcpy(command.comment, "Caf\xE9");
  ShownDialog shown(command, messages);
  shown.Comment()->setText(QString::fromUtf8("Café crème"));
  shown.Click(1);
  EXPECT_STREQ(command.comment, "Caf\xE9 cr\xE8me");
}

TEST_F(EditCommandDlgTest, P3Of255OpensWithThirtyTwoLines) {
  CardCommand command = ToCardCommand(255);
  ShownDialog shown(command, messages);
  EXPECT_EQ(shown.Data()->document()->blockCount(), 33) << "32 lines and the empty one after";
}

TEST_F(EditCommandDlgTest, FromCardOpensWithAnEmptyDataBox) {
  CardCommand command = ToCardCommand(4);
  command.direction = kFromCard;
  ShownDialog shown(command, messages);
  EXPECT_TRUE(shown.Data()->toPlainText().isEmpty());
  EXPECT_TRUE(shown.FromCard()->isChecked());
  EXPECT_FALSE(shown.ToCard()->isChecked());
}

TEST_F(EditCommandDlgTest, AnotherDirectionChecksNeitherButtonUntilOneIsClicked) {
  CardCommand command = ToCardCommand(2);
  command.direction = 5;
  ShownDialog shown(command, messages);
  EXPECT_FALSE(shown.ToCard()->isChecked());
  EXPECT_FALSE(shown.FromCard()->isChecked());
  EXPECT_TRUE(shown.Data()->toPlainText().isEmpty());

  shown.ToCard()->click();
  EXPECT_EQ(command.direction, kToCard) << "set at once";
  shown.FromCard()->click();
  EXPECT_EQ(command.direction, kFromCard);
  EXPECT_FALSE(shown.ToCard()->isChecked()) << "the buttons exclude each other again";
  EXPECT_TRUE(shown.FromCard()->isChecked());
}

TEST_F(EditCommandDlgTest, OkStoresTheTypedCommand) {
  CardCommand command = NewCardCommand();
  ShownDialog shown(command, messages);
  shown.ToCard()->click();
  shown.Type("A0 A4 00 00 02", "select", "3F\n00");
  shown.Click(1);
  EXPECT_FALSE(shown.Open());
  EXPECT_EQ(shown.Result(), 1);
  EXPECT_THAT(messages.messages, IsEmpty());
  EXPECT_THAT(command.header, ElementsAre(0xA0, 0xA4, 0x00, 0x00, 0x02));
  EXPECT_EQ(command.data[0], 0x3F);
  EXPECT_EQ(command.data[1], 0x00);
  EXPECT_STREQ(command.comment, "select");
}

TEST_F(EditCommandDlgTest, RefusedOkShowsTheMessageAndStaysOpen) {
  CardCommand command = NewCardCommand();
  ShownDialog shown(command, messages);
  shown.ToCard()->click();
  shown.Type("00 D6 00 00 05", "", "01 02");
  shown.Click(1);
  EXPECT_TRUE(shown.Open());
  EXPECT_THAT(messages.messages, ElementsAre("P3 (05) > command msg size (02)!"));

  shown.Data()->setPlainText("01 02 03 04 05");
  shown.Click(1);
  EXPECT_FALSE(shown.Open());
  EXPECT_EQ(shown.Result(), 1);
}

TEST_F(EditCommandDlgTest, EnterInTheDataBoxPressesOk) {
  CardCommand command = NewCardCommand();
  ShownDialog shown(command, messages);
  shown.ToCard()->click();
  shown.Type("00 D6 00 00 01", "", "7");
  shown.Data()->moveCursor(QTextCursor::End);
  shown.Press(shown.Data(), Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(shown.Data()->toPlainText(), "7\n") << "Ctrl+Enter breaks the line";
  EXPECT_TRUE(shown.Open());
  shown.Press(shown.Data(), Qt::Key_Return);
  EXPECT_EQ(shown.Data()->toPlainText(), "7\n") << "Enter typed no line break";
  EXPECT_FALSE(shown.Open());
  EXPECT_EQ(shown.Result(), 1);
  EXPECT_EQ(command.data[0], 0x07);
}

TEST_F(EditCommandDlgTest, EnterInTheHeaderPressesOk) {
  CardCommand command = NewCardCommand();
  ShownDialog shown(command, messages);
  shown.Press(shown.Header(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(shown.Result(), 1);
}

TEST_F(EditCommandDlgTest, EscapeCloseBoxAndCancelEndWithTwo) {
  CardCommand command = ToCardCommand(2);
  {
    ShownDialog shown(command, messages);
    shown.Press(shown.Data(), Qt::Key_Escape);
    EXPECT_FALSE(shown.Open());
    EXPECT_EQ(shown.Result(), 2);
  }
  {
    ShownDialog shown(command, messages);
    shown.dialog.close();
    EXPECT_EQ(shown.Result(), 2);
  }
  {
    ShownDialog shown(command, messages);
    shown.Click(2);
    EXPECT_EQ(shown.Result(), 2);
  }
}

TEST_F(EditCommandDlgTest, DeleteEndsAtOnceWhateverTheText) {
  CardCommand command = ToCardCommand(2);
  ShownDialog shown(command, messages);
  shown.Type("nonsense", "", "ZZ ZZ ZZ");
  shown.Click(1000);
  EXPECT_FALSE(shown.Open());
  EXPECT_EQ(shown.Result(), 3);
  EXPECT_THAT(messages.messages, IsEmpty());
}

TEST_F(EditCommandDlgTest, TabOrderFollowsTheTemplate) {
  CardCommand command = NewCardCommand();
  ShownDialog shown(command, messages);
  std::vector<QString> order;
  QWidget* widget = shown.Control<QPushButton>(1);
  for (int i = 0; i < 6; ++i) {
    order.push_back(widget->objectName());
    do {
      widget = widget->nextInFocusChain();
    } while (widget->focusPolicy() != Qt::StrongFocus);
  }
  EXPECT_THAT(order, ElementsAre("control1", "control2", "control1003", "control1008",
                                 "control1000", "control1012"));
  EXPECT_EQ(widget->objectName(), "control1") << "and round again";
}

// Drives the real dialog on whatever record the command list hands it.
class ScriptedDialogEditor final : public EditCommandRunner {
 public:
  using Script = std::function<void(ShownDialog&)>;
  explicit ScriptedDialogEditor(quorvel::testing::RecordingMessageSink& messages)
      : messages_(messages) {}
  void Then(Script script) { scripts_.push_back(std::move(script)); }
  int Run(CardCommand& record) override {
    ShownDialog shown(record, messages_);
    scripts_.at(next_++)(shown);
    EXPECT_FALSE(shown.Open()) << "the script must end the dialog";
    return shown.Result();
  }
  int RunOnReset() override {
    CardCommand unused = NewCardCommand();
    ShownDialog shown(unused, messages_, true);
    scripts_.at(next_++)(shown);
    EXPECT_FALSE(shown.Open()) << "the script must end the dialog";
    return shown.Result();
  }

 private:
  quorvel::testing::RecordingMessageSink& messages_;
  std::vector<Script> scripts_;
  std::size_t next_ = 0;
};

class CommandListWithDialogTest : public EditCommandDlgTest {
 protected:
  CommandListWithDialogTest() {
    listBox.AddString("New Command");
    listBox.SetCurSel(0);
  }

  void Add(const char* header, const char* comment) {
    editor.Then([=](ShownDialog& shown) {
      shown.Type(header, comment, "");
      shown.Click(1);
    });
    commands.OnEdit(editor);
  }

  quorvel::testing::FakeListBox listBox;
  CommandList commands{listBox};
  ScriptedDialogEditor editor{messages};
};

TEST_F(CommandListWithDialogTest, UntouchedNewCommandIsAccepted) {
  editor.Then([](ShownDialog& shown) { shown.Click(1); });
  commands.OnEdit(editor);
  EXPECT_THAT(listBox.entries, ElementsAre("New Command", " (00 00 00 00 00)"));
}

TEST_F(CommandListWithDialogTest, AddThreeThenDeleteTheMiddleOne) {
  Add("00 A4 00 00 02", "A");
  Add("00 B0 00 00 10", "B");
  Add("00 C0 00 00 00", "C");
  EXPECT_THAT(listBox.entries, ElementsAre("New Command", "A (00 A4 00 00 02)",
                                           "B (00 B0 00 00 10)", "C (00 C0 00 00 00)"));
  listBox.SetCurSel(2);
  editor.Then([](ShownDialog& shown) { shown.Click(1000); });
  commands.OnEdit(editor);
  EXPECT_THAT(listBox.entries,
              ElementsAre("New Command", "A (00 A4 00 00 02)", "C (00 C0 00 00 00)"));
  EXPECT_EQ(listBox.selection, 0);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_STREQ(commands.records()[1]->comment, "C");
}

TEST_F(CommandListWithDialogTest, AResetEntryShowsNothingToChangeAndCanBeDeleted) {
  commands.AppendStep(nullptr, Expectation{});
  listBox.SetCurSel(1);
  editor.Then([](ShownDialog& shown) {
    EXPECT_EQ(shown.Comment()->text(), "Reset");
    for (QWidget* field : std::initializer_list<QWidget*>{shown.Header(), shown.Comment(),
                                                          shown.Data(), shown.ToCard()})
      EXPECT_FALSE(field->isEnabled()) << field->objectName().toStdString();
    shown.Click(1);
  });
  editor.Then([](ShownDialog& shown) { shown.Click(1000); });
  commands.OnEdit(editor);
  EXPECT_TRUE(commands.IsResetEntry(1)) << "OK keeps it";
  commands.OnEdit(editor);
  EXPECT_THAT(listBox.entries, ElementsAre("New Command"));
}

TEST_F(CommandListWithDialogTest, EditingTheSecondOfThreeKeepsOrderAndSelection) {
  Add("00 A4 00 00 02", "A");
  Add("00 B0 00 00 10", "B");
  Add("00 C0 00 00 00", "C");
  listBox.SetCurSel(2);
  editor.Then([](ShownDialog& shown) {
    EXPECT_EQ(shown.Comment()->text(), "B");
    shown.Type("00 B2 00 00 04", "B2", "");
    shown.Click(1);
  });
  commands.OnEdit(editor);
  EXPECT_THAT(listBox.entries, ElementsAre("New Command", "A (00 A4 00 00 02)",
                                           "B2 (00 B2 00 00 04)", "C (00 C0 00 00 00)"));
  EXPECT_EQ(listBox.selection, 2);
  EXPECT_STREQ(commands.RecordForEntry(2)->comment, "B2");
}

TEST_F(CommandListWithDialogTest, CancelAfterClickingTheOtherDirectionChangesNothing) {
  Add("00 B0 00 00 10", "read");
  listBox.SetCurSel(1);
  const CardCommand before = *commands.RecordForEntry(1);
  editor.Then([](ShownDialog& shown) {
    shown.ToCard()->click();
    shown.Type("11 22 33 44 00", "changed", "");
    shown.Click(2);
  });
  commands.OnEdit(editor);
  EXPECT_EQ(std::memcmp(commands.RecordForEntry(1), &before, sizeof before), 0);
  EXPECT_EQ(listBox.GetText(1), "read (00 B0 00 00 10)");
}

TEST_F(CommandListWithDialogTest, LongCommentKeeps63Characters) {
  Add("00 A4 00 00 00", std::string(70, 'k').c_str());
  EXPECT_EQ(std::string(commands.RecordForEntry(1)->comment), std::string(63, 'k'));
  EXPECT_EQ(listBox.GetText(1), std::string(63, 'k') + " (00 A4 00 00 00)");
}

TEST_F(CommandListWithDialogTest, ReopeningATenByteCommandAndOkGivesTheSameBytes) {
  editor.Then([](ShownDialog& shown) {
    shown.ToCard()->click();
    shown.Type("00 D6 00 00 0A", "ten", "00 11 22 33 44 55 66 77 88 99");
    shown.Click(1);
  });
  commands.OnEdit(editor);
  const CardCommand first = *commands.RecordForEntry(1);

  listBox.SetCurSel(1);
  editor.Then([](ShownDialog& shown) {
    EXPECT_EQ(shown.Data()->toPlainText(), "00 11 22 33 44 55 66 77 \n88 99 \n");
    shown.Click(1);
  });
  commands.OnEdit(editor);
  EXPECT_EQ(std::memcmp(commands.RecordForEntry(1), &first, sizeof first), 0);
  EXPECT_EQ(first.data[9], 0x99);
}

TEST_F(CommandListWithDialogTest, RefusedHeaderKeepsTheDialogOpenUntilItIsMended) {
  editor.Then([this](ShownDialog& shown) {
    shown.Type("00 A4", "", "");
    shown.Click(1);
    EXPECT_TRUE(shown.Open());
    EXPECT_EQ(messages.messages.size(), 1u);
    shown.Header()->setText("00 A4 00 00 00");
    shown.Click(1);
  });
  commands.OnEdit(editor);
  EXPECT_EQ(listBox.GetText(1), " (00 A4 00 00 00)");
}

}  // namespace
}  // namespace quorvel::gui
