// The main window, driven headless through its real widgets, with a fake serial
// line, a fake clock and scripted modal services.
#include "app/qt/quorvel_dlg.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWindow>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/fixed_text.h"
#include "app/qt/full_text_tool_tips.h"
#include "commands/scc_file.h"
#include "iso7816/atr.h"
#include "iso7816/status_words.h"
#include "pcsc/reader_listing.h"
#include "port/clock.h"
#include "port/system_device_factory.h"
#include "support/fake_clock.h"
#include "support/fake_serial_device.h"
#include "support/recording_message_sink.h"
#include "support/scripted_services.h"
#include "support/temp_folder.h"
#include "support/virtual_card_process.h"

namespace quorvel::gui {
namespace {

namespace fs = std::filesystem;
using quorvel::testing::FakeClock;
using quorvel::testing::FakeDeviceFactory;
using quorvel::testing::FakeLine;
using quorvel::testing::RecordingMessageSink;
using quorvel::testing::ScriptedEditor;
using quorvel::testing::ScriptedFileChooser;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Bytes = std::vector<std::uint8_t>;

class CountingAboutOpener final : public AboutBoxOpener {
 public:
  void OpenAbout(QWidget* parent) override {
    ++opened;
    lastParent = parent;
  }
  int opened = 0;
  QWidget* lastParent = nullptr;
};

std::string ReadFile(const fs::path& path) {
  return testing::ReadFileBytes(path);
}

Bytes Sequence(std::size_t count, std::uint8_t first = 0) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

CardCommand Command(const char* comment, Bytes header, std::uint8_t direction, Bytes data = {}) {
  CardCommand c = NewCardCommand();
  std::copy(header.begin(), header.end(), c.header);
  c.direction = direction;
  CopyText(c.comment, comment);
  std::copy(data.begin(), data.end(), c.data);
  return c;
}

class QuorvelDlgTest : public ::testing::Test {
 protected:
  QuorvelDlgTest() : line_(clock_), devices_(line_) {}

  void SetUp() override {
    old_cwd_ = fs::current_path();
    fs::current_path(dir_);  // the log file's default name is relative
    profile_path_ = (dir_ / "Quorvel.INI").string();
  }

  void TearDown() override {
    dialog_.reset();
    fs::current_path(old_cwd_);
  }

  CQuorvelDlg& Start(DeviceFactory* devices = nullptr, Clock* clock = nullptr) {
    profile_ = std::make_unique<Profile>(Profile::Load(profile_path_));
    dialog_ = std::make_unique<CQuorvelDlg>(
        MainWindowDeps{devices ? *devices : devices_, clock ? *clock : clock_, *profile_,
                       &messages_, &files_, &editor_, &about_, &questions_, &clipboard_});
    dialog_->show();
    return *dialog_;
  }
  void Quit() { dialog_.reset(); }
  // Starts with COM2 pointing at the demo card; with `clock`, at that clock's pace.
  CQuorvelDlg& StartWithDemoCard(Clock* clock = nullptr, const std::string& profile = "") {
    std::ofstream(profile_path_) << "[ports]\nCOM2=DEMO\n" << profile;
    demo_ = std::make_unique<SystemDeviceFactory>(Profile::Load(profile_path_).Section("ports"),
                                                  clock ? *clock : clock_);
    return Start(demo_.get(), clock);
  }

  template <class T>
  T* W(int id) {
    return qobject_cast<T*>(dialog_->Control(id));
  }
  // Lets the window's event loop run until the line has done what it was given.
  void WaitForTheLine() {
    while (dialog_ && !dialog_->logic().LineIdle())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents();
  }
  void Click(int id) {
    W<QPushButton>(id)->click();
    WaitForTheLine();
  }
  void LoseFocus(int id) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(dialog_->Control(id), &out);
    WaitForTheLine();
  }
  void Type(int id, const std::string& text) {
    W<QLineEdit>(id)->setText(QString::fromStdString(text));
    LoseFocus(id);
  }
  std::vector<std::string> Rows(int id) {
    std::vector<std::string> rows;
    QAbstractItemModel* model = W<QListView>(id)->model();
    for (int r = 0; r < model->rowCount(); ++r)
      rows.push_back(model->index(r, 0).data().toString().toStdString());
    return rows;
  }
  int Selected(int id) {
    const auto rows = W<QListView>(id)->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
  }
  void Select(int id, int row) {
    QListView* view = W<QListView>(id);
    view->selectionModel()->setCurrentIndex(view->model()->index(row, 0),
                                            QItemSelectionModel::ClearAndSelect);
  }
  std::string Counter() { return W<QLineEdit>(1003)->text().toStdString(); }
  std::string Title() { return dialog_->windowTitle().toStdString(); }
  const MainDialogState& State() { return dialog_->logic().state(); }

  // Adds a command through Edit with "New Command" selected.
  void AddCommand(const CardCommand& command) {
    Select(1020, 0);
    editor_.steps.push_back({[command](CardCommand& r) { r = command; }, 1});
    Click(1015);
  }

  // A card behind the echoing line: answers each header through `answer`.
  void CardAnswers(std::function<Bytes(const Bytes& header)> answer) {
    line_.echo = true;
    line_.card = [answer](FakeLine& line, const Bytes& written) {
      if (written.size() == 5) line.Arrive(answer(written), std::chrono::milliseconds(10));
    };
  }
  void Atr(const Bytes& atr) { line_.Arrive(atr, std::chrono::milliseconds(100)); }

  FakeClock clock_;
  FakeLine line_;
  FakeDeviceFactory devices_;
  RecordingMessageSink messages_;
  ScriptedFileChooser files_;
  ScriptedEditor editor_;
  testing::ScriptedQuestion questions_;
  CountingAboutOpener about_;
  testing::RecordingClipboard clipboard_;
  std::unique_ptr<Profile> profile_;
  std::unique_ptr<SystemDeviceFactory> demo_;
  std::unique_ptr<CQuorvelDlg> dialog_;
  testing::TempFolder folder_{"dlg"};
  const fs::path& dir_ = folder_.path();
  fs::path old_cwd_;
  std::string profile_path_;
};

const char* kDefaults = "COM2: baud=9600 parity=E data=8 stop=2";

TEST_F(QuorvelDlgTest, FirstStartShowsTheDefaultsAndRemembersNonameAtExit) {
  Start();
  EXPECT_EQ(Title(), "Quorvel [test.txt]");
  EXPECT_EQ(W<QLineEdit>(1008)->text().toStdString(), kDefaults);
  EXPECT_EQ(W<QLineEdit>(1012)->text().toStdString(), kDefaults);
  EXPECT_FALSE(W<QCheckBox>(1013)->isChecked());
  EXPECT_FALSE(W<QCheckBox>(1022)->isChecked());
  EXPECT_THAT(Rows(1020), ElementsAre("New Command"));
  EXPECT_EQ(Selected(1020), 0);
  EXPECT_EQ(Counter(), "0");
  EXPECT_THAT(devices_.openedNames, ElementsAre("COM2"));
  EXPECT_EQ(line_.devicesOpen, 1);
  EXPECT_EQ(TextOf(State().m_altExecuteSettings), "COM2: baud=10472 parity=E data=8 stop=2");
  EXPECT_EQ(TextOf(State().m_altLogFileName), "test2.txt");
  EXPECT_THAT(messages_.messages, IsEmpty());
  EXPECT_TRUE(W<QPushButton>(1)->isDefault());

  Quit();
  EXPECT_EQ(line_.devicesOpen, 0);
  EXPECT_EQ(ReadFile(profile_path_), "[config]\nlist=noname.scc\n");
}

TEST_F(QuorvelDlgTest, RememberedPathsThatAreNotFilesLeadToTheDefaults) {
  // "null" in another case is a path, not the marker; a value too long for the
  // path field is treated as missing rather than cut into another path.
  for (const std::string& value : {std::string("null"), std::string(300, 'x')}) {
    std::ofstream(profile_path_) << "[config]\nlist=" << value << "\n";
    Start();
    EXPECT_EQ(TextOf(State().m_configPath), "noname.scc") << value.size();
    EXPECT_EQ(Title(), "Quorvel [test.txt]");
    EXPECT_THAT(messages_.messages, IsEmpty());
    Quit();
  }
}

TEST_F(QuorvelDlgTest, LeavingTheSettingsEditsCopiesThemAndAppliesOnlyTheExecuteSettings) {
  Start();
  const std::size_t applied = line_.linesSet.size();
  LoseFocus(1012);  // unchanged text: not applied again
  EXPECT_EQ(line_.linesSet.size(), applied);
  Type(1008, "COM2: baud=19200 parity=N data=8 stop=1");
  EXPECT_EQ(line_.linesSet.size(), applied);
  EXPECT_EQ(TextOf(State().m_resetSettings), "COM2: baud=19200 parity=N data=8 stop=1");

  // A long text is cut to 127 characters.
  Type(1008, std::string(200, 'a'));
  EXPECT_EQ(TextOf(State().m_resetSettings), std::string(127, 'a'));

  // A new port name: the old port gets the settings now, the new one opens at Reset.
  Type(1012, "COM7: baud=115200 parity=E data=8 stop=2");
  EXPECT_EQ(line_.linesSet.size(), applied + 1);
  EXPECT_EQ(line_.linesSet.back().baudRate, 115200u);
  EXPECT_THAT(devices_.openedNames, ElementsAre("COM2"));
  Type(1008, kDefaults);
  Click(1000);
  EXPECT_THAT(devices_.openedNames, ElementsAre("COM2", "COM7"));
  EXPECT_EQ(line_.devicesOpen, 1);
}

TEST_F(QuorvelDlgTest, ResetShowsCountsAndLogsTheAtr) {
  const Bytes atr = Sequence(20, 0x3B);
  Start();
  W<QCheckBox>(1022)->setChecked(true);
  Atr(atr);
  Click(1000);
  EXPECT_THAT(
      Rows(1002),
      ElementsAre("Reset...", "3B 3C 3D 3E 3F 40 41 42 43 44 45 46 47 48 49 4A ", "4B 4C 4D 4E "));
  EXPECT_EQ(Counter(), "20");
  EXPECT_EQ(ReadFile("test.txt"), std::string(atr.begin(), atr.end()));  // flushed already
  EXPECT_EQ(clock_.TotalWaited(), std::chrono::milliseconds(300));

  // A second reset, "Bin" off: rows, counter and log start over.
  W<QCheckBox>(1022)->setChecked(false);
  Atr(atr);
  Click(1000);
  EXPECT_EQ(Rows(1002).size(), 3u);
  EXPECT_EQ(Counter(), "20");
  EXPECT_EQ(ReadFile("test.txt"),
            "3B 3C 3D 3E 3F 40 41 42 43 44 45 46 47 48 49 4A \r\n4B 4C 4D 4E \r\n");

  // No card: the marker alone, the counter drops to 0, the log is empty.
  Click(1000);
  EXPECT_THAT(Rows(1002), ElementsAre("Reset..."));
  EXPECT_EQ(Counter(), "0");
  EXPECT_EQ(ReadFile("test.txt"), "");
}

TEST_F(QuorvelDlgTest, ResetWithTheInverseConventionShowsConvertedBytes) {
  Start();
  W<QCheckBox>(1013)->click();
  EXPECT_EQ(State().m_inverse, 1);
  Atr({0x03, 0x60});  // an inverse-convention card's TS as a plain receiver reads it
  Click(1000);
  EXPECT_THAT(Rows(1002), ElementsAre("Reset...", "3F F9 "));
}

TEST_F(QuorvelDlgTest, AnUncreatableLogIsToldOnceInTheTitleAndTheResetsExplanation) {
  Start();
  const std::string name = (dir_ / "no-such-folder" / "log.txt").string();
  files_.answers.push_back(name);
  Click(1023);
  Atr({0x3B, 0x00});
  Click(1000);
  EXPECT_THAT(Rows(1002), ElementsAre("Reset...", "3B 00 "));
  EXPECT_EQ(Counter(), "2");
  EXPECT_THAT(messages_.messages, IsEmpty());
  EXPECT_EQ(dialog_->windowHandle()->title().toStdString(), "Quorvel [" + name + " - not written]");
  EXPECT_THAT(dialog_->logic().output().ExplainRow(0),
              ::testing::HasSubstr("could not be created (No such file or directory): nothing "
                                   "is logged."));
}

TEST_F(QuorvelDlgTest, BrowseOffersFiltersByBinAndTakesEffectAtTheNextReset) {
  Start();
  files_.answers.push_back(std::nullopt);
  Click(1023);
  ASSERT_EQ(files_.requests.size(), 1u);
  EXPECT_EQ(files_.requests[0].mode, FileChooser::Mode::kSave);
  EXPECT_EQ(files_.requests[0].filter, "log files (*.txt) | *.txt|All Files (*.*)|*.*||");
  EXPECT_EQ(files_.requests[0].defaultExtension, "txt");
  EXPECT_EQ(files_.requests[0].initialName, "test.txt");
  EXPECT_EQ(Title(), "Quorvel [test.txt]");
  EXPECT_THAT(Rows(1002), IsEmpty());

  W<QCheckBox>(1022)->setChecked(true);
  files_.answers.push_back((dir_ / "card.bin").string());
  Click(1023);
  EXPECT_EQ(files_.requests[1].filter, "log files (*.bin) | *.bin|All Files (*.*)|*.*||");
  EXPECT_EQ(files_.requests[1].defaultExtension, "bin");
  EXPECT_EQ(Title(), "Quorvel [" + (dir_ / "card.bin").string() + "]");
  EXPECT_THAT(Rows(1002), ElementsAre("Click Reset for new settings to take effect!"));
  EXPECT_FALSE(fs::exists(dir_ / "card.bin"));
  Click(1000);
  EXPECT_TRUE(fs::exists(dir_ / "card.bin"));

  // A path longer than the name field is refused, and the log keeps its name.
  files_.answers.push_back("/" + std::string(140, 'p'));
  Click(1023);
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_THAT(messages_.messages[0], ::testing::HasSubstr("too long"));
  EXPECT_EQ(TextOf(State().m_logFileName), (dir_ / "card.bin").string());
}

TEST_F(QuorvelDlgTest, ExecuteShowsCountsAndLogsEveryReception) {
  const Bytes data = Sequence(16, 0xA0);
  CardAnswers([&](const Bytes& h) {
    Bytes answer{h[1]};
    if (h[1] == 0xB0) answer.insert(answer.end(), data.begin(), data.begin() + h[4]);
    if (h[1] == 0xCA) return Bytes{0x6D, 0x00};  // refused: status word instead of INS
    answer.insert(answer.end(), {0x90, 0x00});
    return answer;
  });
  Start();
  AddCommand(Command("read", {0x00, 0xB0, 0x00, 0x00, 0x10}, kFromCard));
  AddCommand(Command("bad", {0x00, 0xCA, 0x00, 0x00, 0x00}, kFromCard));

  // Before the first reset: rows and counter, but no log file.
  Select(1020, 1);
  Click(1016);
  EXPECT_THAT(Rows(1002), ElementsAre("00 B0 00 00 10 B0 A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 ",
                                      "AA AB AC AD AE AF ", "90 00"));
  EXPECT_EQ(Counter(), "22");
  EXPECT_FALSE(fs::exists("test.txt"));
  EXPECT_EQ(W<QListView>(1002)->currentIndex().row(), 2);

  // Text log after a reset; the counter restarts from the ATR.
  Atr({0x3B, 0x00});
  Click(1000);
  Select(1020, 1);
  Click(1016);
  EXPECT_EQ(Counter(), "24");
  Select(1020, 2);
  Click(1016);
  EXPECT_EQ(Counter(), "31");
  EXPECT_THAT(Rows(1002),
              ElementsAre("Reset...", "3B 00 ", "00 B0 00 00 10 B0 A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 ",
                          "AA AB AC AD AE AF ", "90 00", "Command execution failed!",
                          "00 CA 00 00 00 6D 00 "));
  EXPECT_EQ(ReadFile("test.txt"),
            "3B 00 \r\n00 B0 00 00 10 B0 A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 \r\nAA AB AC AD AE AF "
            "\r\n90 00\r\n00 CA 00 00 00 6D 00 \r\n");

  // Binary log: raw received bytes, then the status bytes, nothing else.
  W<QCheckBox>(1022)->setChecked(true);
  Atr({0x3B, 0x0A});
  Click(1000);
  Select(1020, 1);
  Click(1016);
  Select(1020, 2);
  Click(1016);
  Bytes expected{0x3B, 0x0A, 0x00, 0xB0, 0x00, 0x00, 0x10, 0xB0};
  expected.insert(expected.end(), data.begin(), data.end());
  expected.insert(expected.end(), {0x90, 0x00, 0x00, 0xCA, 0x00, 0x00, 0x00, 0x6D, 0x00});
  EXPECT_EQ(ReadFile("test.txt"), std::string(expected.begin(), expected.end()));
}

// ISO/IEC 7816-3 10.3.3: NULL (60) asks for more time; the switch makes Quorvel follow it.
TEST_F(QuorvelDlgTest, FollowingEveryT0ProcedureByteIsASwitchTheProfileKeeps) {
  // A card working on its answer: two NULL bytes, INS, the data, the status word, and a
  // byte too many that the next command clears before its header.
  CardAnswers([](const Bytes&) { return Bytes{0x60, 0x60, 0xB0, 1, 2, 3, 4, 0x90, 0x00, 0xEE}; });
  Start();
  EXPECT_FALSE(dialog_->FullT0Action()->isChecked());
  AddCommand(Command("read", {0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard));
  Select(1020, 1);
  Click(1016);
  EXPECT_EQ(Rows(1002).front(), "Command execution failed!");  // only INS is taken

  dialog_->FullT0Action()->trigger();
  for (int run = 0; run < 2; ++run) {
    Select(1020, 1);
    Click(1016);
  }
  const auto rows = Rows(1002);
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[rows.size() - 2], "00 B0 00 00 04 60 60 B0 01 02 03 04 ");
  EXPECT_EQ(rows.back(), "90 00");
  const std::string explained =
      dialog_->logic().output().ExplainRow(static_cast<int>(rows.size()) - 2);
  EXPECT_THAT(explained, ::testing::HasSubstr("Bytes 6-7: NULL bytes (60): the card asks"));
  EXPECT_THAT(explained, ::testing::HasSubstr("1 byte the card had sent unasked was cleared"));
  Quit();
  EXPECT_THAT(ReadFile(profile_path_), ::testing::HasSubstr("full-t0=on"));
  Start();
  EXPECT_TRUE(dialog_->FullT0Action()->isChecked());
}

TEST_F(QuorvelDlgTest, StatusBytesThatNeverArriveShowAsDashes) {
  CardAnswers([](const Bytes& h) { return Bytes{h[1], 0x01, 0x02}; });  // P3 = 4 wanted
  Start();
  AddCommand(Command("short", {0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard));
  Atr({0x3B});
  Click(1000);
  Select(1020, 1);
  Click(1016);
  EXPECT_THAT(Rows(1002), ElementsAre("Reset...", "3B ", "00 B0 00 00 04 B0 01 02 ", "-- --"));
  EXPECT_EQ(Counter(), "9");
  EXPECT_EQ(ReadFile("test.txt"), "3B \r\n00 B0 00 00 04 B0 01 02 \r\n-- --\r\n");
}

TEST_F(QuorvelDlgTest, ExecuteWithoutACommandSendsNothing) {
  Start();
  Click(1016);  // "New Command" selected
  EXPECT_THAT(messages_.messages, ElementsAre("Create a new command with Edit."));
  W<QListView>(1020)->selectionModel()->clearSelection();
  Click(1016);
  EXPECT_EQ(messages_.messages.size(), 1u);
  EXPECT_THAT(line_.writes, IsEmpty());
  EXPECT_THAT(Rows(1002), IsEmpty());
  EXPECT_EQ(Counter(), "0");
}

TEST_F(QuorvelDlgTest, ACommandOnAClosedPortFailsWithNothingReceived) {
  devices_.failureReason = "/dev/ttyS1: No such file or directory";
  Start();
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_EQ(messages_.messages[0].substr(0, 23), "Could not create handle");
  AddCommand(Command("x", {0x00, 0xB0, 0x00, 0x00, 0x00}, kFromCard));
  Select(1020, 1);
  Click(1016);
  EXPECT_THAT(Rows(1002), ElementsAre("Command execution failed!"));
  EXPECT_EQ(Counter(), "0");
}

TEST_F(QuorvelDlgTest, EditAddsChangesAndDeletesCommandsInOrder) {
  Start();
  AddCommand(Command("A", {0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard, {0x3F, 0x00}));
  AddCommand(Command("B", {0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard));
  AddCommand(Command("C", {0x00, 0xC0, 0x00, 0x00, 0x10}, kFromCard));
  EXPECT_THAT(Rows(1020), ElementsAre("New Command", "A (00 A4 00 00 02)", "B (00 B0 00 00 04)",
                                      "C (00 C0 00 00 10)"));
  EXPECT_EQ(Selected(1020), 0);

  // Changing entry 2 keeps its place and its selection, so Execute can run it.
  Select(1020, 2);
  editor_.steps.push_back({[](CardCommand& r) { CopyText(r.comment, "B2"); }, 1});
  Click(1015);
  EXPECT_THAT(Rows(1020), ElementsAre("New Command", "A (00 A4 00 00 02)", "B2 (00 B0 00 00 04)",
                                      "C (00 C0 00 00 10)"));
  EXPECT_EQ(Selected(1020), 2);

  // Cancel drops whatever the dialog changed.
  editor_.steps.push_back({[](CardCommand& r) { r.direction = kToCard; }, 2});
  Click(1015);
  EXPECT_EQ(dialog_->logic().commands().RecordForEntry(2)->direction, kFromCard);

  editor_.steps.push_back({nullptr, 3});
  Click(1015);
  EXPECT_THAT(Rows(1020), ElementsAre("New Command", "A (00 A4 00 00 02)", "C (00 C0 00 00 10)"));
  EXPECT_EQ(Selected(1020), 0);
}

TEST_F(QuorvelDlgTest, NewKeepsBinAndTheReservedFields) {
  Start();
  AddCommand(Command("A", {0x00, 0xA4, 0x00, 0x00, 0x00}, kFromCard));
  W<QCheckBox>(1022)->setChecked(true);
  W<QCheckBox>(1013)->click();
  Type(1012, "DEMO: baud=9600 parity=E data=8 stop=2");
  Click(1014);
  EXPECT_THAT(Rows(1020), ElementsAre("New Command"));
  EXPECT_TRUE(W<QCheckBox>(1022)->isChecked());
  EXPECT_FALSE(W<QCheckBox>(1013)->isChecked());
  EXPECT_EQ(State().m_inverse, 0);
  EXPECT_EQ(W<QLineEdit>(1012)->text().toStdString(), kDefaults);
  EXPECT_EQ(State().m_reservedWord, 2);
  EXPECT_EQ(State().m_reservedBlock[0], 0x90);
  EXPECT_EQ(TextOf(State().m_configPath), "noname.scc");
}

TEST_F(QuorvelDlgTest, SaveThenLoadRestoresCommandsAndSettings) {
  Start();
  AddCommand(Command("A", {0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard, {0x3F, 0x00}));
  AddCommand(Command("B", {0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard));
  AddCommand(Command("C", {0x00, 0xC0, 0x00, 0x00, 0x10}, kFromCard));
  W<QCheckBox>(1022)->setChecked(true);
  W<QCheckBox>(1013)->click();
  Type(1008, "COM3: baud=10472 parity=E data=8 stop=2");
  Type(1012, "COM3: baud=9600 parity=E data=8 stop=2");
  const std::string path = (dir_ / "cards.scc").string();

  files_.answers.push_back(path);
  Click(1010);
  EXPECT_EQ(files_.requests.back().defaultExtension, "scc");
  EXPECT_EQ(files_.requests.back().initialName, "noname.scc");
  EXPECT_EQ(fs::file_size(path), 2964u);
  EXPECT_EQ(TextOf(State().m_configPath), path);

  Click(1014);  // New
  W<QCheckBox>(1022)->setChecked(false);
  files_.answers.push_back(path);
  Click(1009);
  EXPECT_EQ(files_.requests.back().mode, FileChooser::Mode::kOpen);
  EXPECT_THAT(Rows(1020), ElementsAre("New Command", "A (00 A4 00 00 02)", "B (00 B0 00 00 04)",
                                      "C (00 C0 00 00 10)"));
  EXPECT_TRUE(W<QCheckBox>(1022)->isChecked());
  EXPECT_TRUE(W<QCheckBox>(1013)->isChecked());
  EXPECT_EQ(W<QLineEdit>(1008)->text().toStdString(), "COM3: baud=10472 parity=E data=8 stop=2");
  EXPECT_EQ(W<QLineEdit>(1012)->text().toStdString(), "COM3: baud=9600 parity=E data=8 stop=2");
  EXPECT_EQ(TextOf(State().m_configPath), path);
  EXPECT_EQ(Title(), "Quorvel [test.txt]");
  EXPECT_EQ(dialog_->logic().commands().RecordForEntry(1)->data[1], 0x00);
  EXPECT_EQ(dialog_->logic().commands().RecordForEntry(1)->data[0], 0x3F);

  // The next start loads the remembered file.
  Quit();
  Start();
  EXPECT_EQ(Rows(1020).size(), 4u);
  EXPECT_EQ(TextOf(State().m_configPath), path);
  EXPECT_THAT(devices_.openedNames.back(), "COM3");
}

TEST_F(QuorvelDlgTest, ALoadedFileSavesBackByteForByte) {
  // Every byte the window does not own travels through it: text after the
  // zeros, reserved fields, reserved bytes of the records.
  SccSettings settings{};
  CopyText(settings.logFileName, "card.log");
  settings.logFileName[100] = 'Z';
  CopyText(settings.altLogFileName, "alt.log");
  CopyText(settings.executeSettings, "COM4: baud=9600 parity=E data=8 stop=2");
  settings.executeSettings[127] = 'X';
  CopyText(settings.altExecuteSettings, "COM4: baud=10472 parity=E data=8 stop=2");
  CopyText(settings.resetSettings, "COM4: baud=9600 parity=E data=8 stop=2");
  CopyText(settings.altResetSettings, "COM4: baud=10472 parity=E data=8 stop=2");
  settings.reservedWord = 7;
  for (int i = 0; i < 64; ++i) settings.reservedBlock[i] = static_cast<std::uint8_t>(i * 3);
  settings.bin = 1;
  settings.inverse = 1;
  std::vector<std::unique_ptr<CardCommand>> records;
  for (int i = 0; i < 2; ++i) {
    auto record = std::make_unique<CardCommand>(Command("r", {0x00, 0xB0, 0x00, 0x00, 0x02}, 5));
    record->reserved6[3] = 0xEE;
    record->reserved345[274] = static_cast<std::uint8_t>(0x40 + i);
    record->data[200] = 0x77;  // past P3: nothing reads it, it is kept all the same
    records.push_back(std::move(record));
  }
  const Bytes original = EncodeScc(settings, records);
  const fs::path in = dir_ / "in.scc";
  std::ofstream(in, std::ios::binary)
      .write(reinterpret_cast<const char*>(original.data()),
             static_cast<std::streamsize>(original.size()));

  Start();
  files_.answers.push_back(in.string());
  Click(1009);
  EXPECT_EQ(Title(), "Quorvel [card.log]");
  EXPECT_EQ(W<QLineEdit>(1012)->text().toStdString(), "COM4: baud=9600 parity=E data=8 stop=2");
  EXPECT_EQ(dialog_->logic().commands().RecordForEntry(2)->direction, 5);
  files_.answers.push_back((dir_ / "out.scc").string());
  Click(1010);
  const std::string saved = ReadFile(dir_ / "out.scc");
  ASSERT_EQ(saved.size(), original.size());
  for (std::size_t i = 0; i < saved.size(); ++i) {
    if (i >= kSccResetCopiesAt && i < kSccBinAt) continue;  // rewritten from the Reset settings
    EXPECT_EQ(static_cast<std::uint8_t>(saved[i]), original[i]) << "byte " << i;
  }
}

TEST_F(QuorvelDlgTest, FieldsWrittenOnWindowsShowAsTextAndKeepTheirBytes) {
  SccSettings settings{};
  CopyText(settings.logFileName,
           "Pr\xFC"
           "fung.txt");
  CopyText(settings.executeSettings, "DEMO: baud=9600 parity=E data=8 stop=2 \xA7");
  CopyText(settings.resetSettings, "DEMO: baud=9600 parity=E data=8 stop=2 \xB5");
  std::vector<std::unique_ptr<CardCommand>> records;
  records.push_back(
      std::make_unique<CardCommand>(Command("Gr\xFC\xDF"
                                            "e \x80",
                                            {0x00, 0xA4, 0x00, 0x00, 0x00}, kFromCard)));
  const Bytes file = EncodeScc(settings, records);
  std::ofstream(dir_ / "win.scc", std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));

  Start();
  files_.answers.push_back((dir_ / "win.scc").string());
  Click(1009);
  EXPECT_EQ(Title(), "Quorvel [Prüfung.txt]");
  EXPECT_EQ(W<QLineEdit>(1012)->text().toStdString(), "DEMO: baud=9600 parity=E data=8 stop=2 §");
  EXPECT_EQ(W<QLineEdit>(1008)->text().toStdString(), "DEMO: baud=9600 parity=E data=8 stop=2 µ");
  EXPECT_EQ(Rows(1020)[1], "Grüße € (00 A4 00 00 00)");
  LoseFocus(1012);
  LoseFocus(1008);
  EXPECT_EQ(TextOf(State().m_executeSettings), "DEMO: baud=9600 parity=E data=8 stop=2 \xA7");
  EXPECT_EQ(TextOf(State().m_resetSettings), "DEMO: baud=9600 parity=E data=8 stop=2 \xB5");
}

TEST_F(QuorvelDlgTest, TheTitleShowsTheLogNameAsItIsWritten) {
  Start();
  for (const std::string name : {"*", "a[*]b", "[*][*]", "x [*"}) {
    files_.answers.push_back(name);
    Click(1023);
    EXPECT_EQ(dialog_->windowHandle()->title().toStdString(), "Quorvel [" + name + "]");
  }
}

TEST_F(QuorvelDlgTest, LoadingAFileThatIsNotThereOrBrokenChangesNothing) {
  Start();
  AddCommand(Command("A", {0x00, 0xA4, 0x00, 0x00, 0x00}, kFromCard));
  files_.answers.push_back((dir_ / "missing.scc").string());
  Click(1009);
  EXPECT_THAT(messages_.messages,
              ElementsAre("Could not load \"" + (dir_ / "missing.scc").string() +
                          "\": No such file or directory."));
  messages_.messages.clear();
  EXPECT_EQ(Rows(1020).size(), 2u);
  EXPECT_EQ(TextOf(State().m_configPath), "noname.scc");

  const fs::path broken = dir_ / "broken.scc";
  std::ofstream(broken, std::ios::binary) << std::string(1000, 'x');
  files_.answers.push_back(broken.string());
  Click(1009);
  EXPECT_EQ(messages_.messages.size(), 1u);
  EXPECT_EQ(Rows(1020).size(), 2u);
  EXPECT_EQ(TextOf(State().m_configPath), "noname.scc");
  EXPECT_EQ(Title(), "Quorvel [test.txt]");

  // The same broken file remembered from the last run: the defaults.
  Quit();
  std::ofstream(profile_path_) << "[config]\nlist=" << broken.string() << "\n";
  Start();
  EXPECT_EQ(TextOf(State().m_configPath), "noname.scc");
  EXPECT_EQ(W<QLineEdit>(1012)->text().toStdString(), kDefaults);
}

TEST_F(QuorvelDlgTest, SaveThatFailsKeepsWhatWasThereAndThePath) {
  // A folder where the file should go: only a regular file is ever replaced (this holds
  // for root too).
  Start();
  const fs::path target = dir_ / "taken.scc";
  fs::create_directories(target);
  std::ofstream(target / "inside") << "old";
  files_.answers.push_back(target.string());
  Click(1010);
  EXPECT_THAT(messages_.messages,
              ElementsAre(std::string(kCouldNotSaveNotRegular) + "\n\n" + target.string()));
  EXPECT_EQ(ReadFile(target / "inside"), "old");
  EXPECT_EQ(TextOf(State().m_configPath), "noname.scc");
  EXPECT_THAT(folder_.Names(), ElementsAre("taken.scc")) << "no temporary file is left";
}

TEST_F(QuorvelDlgTest, SaveIntoAMissingFolderSaysCouldNotSave) {
  Start();
  files_.answers.push_back((dir_ / "nowhere" / "x.scc").string());
  Click(1010);
  EXPECT_THAT(messages_.messages, ElementsAre("Could not save"));
  EXPECT_EQ(TextOf(State().m_configPath), "noname.scc");
}

TEST_F(QuorvelDlgTest, WindowMenuAndLogoOpenTheAboutBox) {
  Start();
  for (unsigned id = 0x10; id <= 0x1F; ++id) dialog_->OnSysCommand(id);
  EXPECT_EQ(about_.opened, 16);
  dialog_->OnSysCommand(0xF000);
  dialog_->OnSysCommand(0xF120);
  EXPECT_EQ(about_.opened, 16);
  EXPECT_TRUE(dialog_->isVisible());

  ASSERT_NE(dialog_->Logo(), nullptr);
  QTest::mouseClick(dialog_->Logo(), Qt::LeftButton);
  EXPECT_EQ(about_.opened, 17);
  EXPECT_EQ(about_.lastParent, dialog_.get());

  const auto actions = dialog_->WindowMenu()->actions();
  ASSERT_EQ(actions.size(), 12);
  EXPECT_EQ(actions[0]->text().toStdString(), "Close");
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->text().toStdString(), "&About");
  EXPECT_EQ(actions[4], dialog_->AutomaticResponsesAction());
  EXPECT_EQ(actions[5], dialog_->SpeedNegotiationAction());
  EXPECT_EQ(actions[6], dialog_->FullT0Action());
  EXPECT_EQ(actions[8], dialog_->RecordTraceAction());
  EXPECT_EQ(actions[9], dialog_->SendToWiresharkAction());
  EXPECT_EQ(actions[11], dialog_->ExploreAction());
  actions[2]->trigger();
  EXPECT_EQ(about_.opened, 18);
  actions[0]->trigger();  // Close ends the dialog like the close box
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
}

TEST_F(QuorvelDlgTest, EnterInASettingsEditOrEscapeEndsTheDialog) {
  Start();
  QTest::keyClick(W<QLineEdit>(1008), Qt::Key_Return);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  Quit();
  Start();
  QTest::keyClick(W<QLineEdit>(1012), Qt::Key_Escape);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
  // The output list and the details pane beside it do the same.
  for (int id : {1002, res::kDetailsPane}) {
    Quit();
    Start();
    QTest::keyClick(dialog_->Control(id), Qt::Key_Return);
    EXPECT_FALSE(dialog_->isVisible()) << id;
    EXPECT_EQ(dialog_->result(), QDialog::Accepted) << id;
  }
}

TEST_F(QuorvelDlgTest, DemoCardAnswersSelectAndReadBinary) {
  StartWithDemoCard();
  AddCommand(Command("select", {0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x2F, 0xE2}));
  AddCommand(Command("read", {0x00, 0xB0, 0x00, 0x00, 0x0A}, kFromCard));
  Click(1000);
  const auto rows = Rows(1002);
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[1].substr(0, 3), "3B ");
  Select(1020, 1);
  Click(1016);
  Select(1020, 2);
  Click(1016);
  const auto after = Rows(1002);
  ASSERT_GE(after.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(after.end() - 4, after.end()),
              ElementsAre("00 A4 00 0C 02 A4 2F E2 ", "90 00",
                          "00 B0 00 00 0A B0 98 94 01 00 00 00 00 00 21 F3 ", "90 00"));
  EXPECT_EQ(Counter(), "40");  // a 16-byte ATR, 8 and 16 bytes of the two commands
}

// The payloads of a pcap file's GSMTAP packets after their 16-byte header, with their sub-type
// in front: what the window recorded.
std::vector<Bytes> TracedPayloads(const std::string& pcap) {
  std::vector<Bytes> payloads;
  for (std::size_t at = 24; at + 16 <= pcap.size();) {
    const std::size_t length =
        static_cast<std::uint8_t>(pcap[at + 8]) | static_cast<std::uint8_t>(pcap[at + 9]) << 8;
    const std::string gsmtap = pcap.substr(at + 16 + 28, length - 28);
    Bytes payload(gsmtap.begin() + 15, gsmtap.end());  // the header's last byte makes room
    payload[0] = static_cast<std::uint8_t>(gsmtap[12]);
    payloads.push_back(payload);
    at += 16 + length;
  }
  return payloads;
}

TEST_F(QuorvelDlgTest, RecordATraceFromTheWindowMenuWithPinsMaskedOrKept) {
  StartWithDemoCard();
  const Bytes pin = {0x31, 0x32, 0x33, 0x34, 0xFF, 0xFF, 0xFF, 0xFF};
  AddCommand(Command("verify", {0x00, 0x20, 0x00, 0x01, 0x08}, kToCard, pin));
  Click(1000);  // before recording: not traced
  files_.answers = {std::string("masked.pcap"), std::string("kept.pcap")};
  questions_.answers = {false, true};
  for (const char* name : {"masked.pcap", "kept.pcap"}) {
    dialog_->RecordTraceAction()->trigger();
    EXPECT_TRUE(dialog_->RecordTraceAction()->isChecked()) << name;
    Click(1000);
    Select(1020, 1);
    Click(1016);
    dialog_->RecordTraceAction()->trigger();  // stops: nothing more is written
    EXPECT_FALSE(dialog_->RecordTraceAction()->isChecked()) << name;
    Click(1016);
    const auto payloads = TracedPayloads(ReadFile(name));
    ASSERT_EQ(payloads.size(), 2u) << name;
    EXPECT_EQ(payloads[0][0], 1) << name;  // the ATR
    Bytes verify = {0, 0x00, 0x20, 0x00, 0x01, 0x08};
    verify.insert(verify.end(), pin.begin(), pin.end());
    if (std::string(name) == "masked.pcap") std::fill(verify.begin() + 6, verify.end(), 0xFF);
    verify.insert(verify.end(), {0x90, 0x00});
    EXPECT_EQ(payloads[1], verify) << name;
  }
  EXPECT_EQ(files_.requests[0].filter, kTraceFilter);
  EXPECT_EQ(files_.requests[0].defaultExtension, "pcap");
  EXPECT_EQ(questions_.asked.size(), 2u);

  // A folder cannot take a trace, nor may the log: said so, nothing checked, the log kept.
  fs::create_directory("folder.pcap");
  const std::string log = ReadFile("test.txt");
  files_.answers = {std::string("folder.pcap"), (dir_ / "test.txt").string()};
  dialog_->RecordTraceAction()->trigger();
  EXPECT_THAT(messages_.messages.back(), ::testing::HasSubstr("Could not record a trace"));
  dialog_->RecordTraceAction()->trigger();
  EXPECT_EQ(messages_.messages.back(), kTraceOverOwnFile);
  EXPECT_FALSE(dialog_->RecordTraceAction()->isChecked());
  EXPECT_EQ(ReadFile("test.txt"), log);

  dialog_->SendToWiresharkAction()->trigger();
  EXPECT_TRUE(dialog_->SendToWiresharkAction()->isChecked());
  EXPECT_TRUE(dialog_->logic().sendingToWireshark());
  Quit();
  EXPECT_THAT(ReadFile(profile_path_), ::testing::Not(::testing::HasSubstr("trace")));
  Start();
  EXPECT_FALSE(dialog_->SendToWiresharkAction()->isChecked());
  EXPECT_FALSE(dialog_->RecordTraceAction()->isChecked());
}

// Every line of an explanation under its row, as "Copy with explanations" puts it.
std::string RowWithExplanation(const std::string& row, const std::string& explanation) {
  std::string text = row + "\r\n";
  std::istringstream lines(explanation);
  for (std::string line; std::getline(lines, line);) text += "  " + line + "\r\n";
  return text;
}

TEST_F(QuorvelDlgTest, RowsOfTheDemoCardExplainThemselvesInTheDetailsPaneAndTooltips) {
  StartWithDemoCard();
  AddCommand(Command("select", {0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x2F, 0xE2}));
  AddCommand(Command("wrong class", {0xA0, 0xB0, 0x00, 0x00, 0x0A}, kFromCard));
  Click(1000);
  Select(1020, 1);
  Click(1016);
  Select(1020, 2);
  Click(1016);
  ASSERT_THAT(Rows(1002),
              ElementsAre("Reset...", "3B 6C 00 00 51 55 4F 52 56 45 4C 20 44 45 4D 4F ",
                          "00 A4 00 0C 02 A4 2F E2 ", "90 00", "Command execution failed!",
                          "A0 B0 00 00 0A 6E 00 "));
  QListView* list = W<QListView>(1002);
  auto* details = W<QPlainTextEdit>(res::kDetailsPane);
  const auto shown = [&] { return details->toPlainText().toStdString(); };
  EXPECT_EQ(shown(), "");

  // The keyboard walks the rows; the pane follows.
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Home);
  EXPECT_THAT(shown(), ::testing::HasSubstr("Reset settings, for the reset pulse: " +
                                            std::string(kDefaults)));
  QTest::keyClick(list, Qt::Key_Down);
  const Bytes atr = {0x3B, 0x6C, 0x00, 0x00, 'Q', 'U', 'O', 'R',
                     'V',  'E',  'L',  ' ',  'D', 'E', 'M', 'O'};
  EXPECT_THAT(shown(), ::testing::HasSubstr("this row holds bytes 1-16 of the 16 received.\n" +
                                            RenderAtr(DecodeAtr(atr)).substr(0, 60)));
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_THAT(shown(), ::testing::HasSubstr("Byte 6: the procedure byte A4"));
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_THAT(shown(), ::testing::HasSubstr("90 00: " + ExplainStatusWord(0x90, 0x00, 2, 0x00)));
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_THAT(shown(),
              ::testing::HasSubstr("the card refused the command with the status word 6E 00: " +
                                   ExplainStatusWord(0x6E, 0x00, 2, 0xA0)));

  // The tooltip of every row is its explanation.
  for (int row = 0; row < 6; ++row) {
    EXPECT_EQ(list->model()->index(row, 0).data(Qt::ToolTipRole).toString().toStdString(),
              dialog_->logic().output().ExplainRow(row))
        << row;
  }
  list->selectionModel()->clearSelection();
  EXPECT_EQ(shown(), "");
  Click(1000);  // the rows go, and with them what the pane showed
  QTest::keyClick(list, Qt::Key_Home);
  EXPECT_THAT(shown(), ::testing::HasSubstr("Reset"));
  Atr({});
  Click(1000);
  EXPECT_EQ(shown(), "");
}

TEST_F(QuorvelDlgTest, SelectedRowsCopyAsTheTextLogHasThemOrWithTheirExplanations) {
  CardAnswers([](const Bytes& h) { return Bytes{h[1], 0x01, 0x02, 0x03, 0x04, 0x90, 0x00}; });
  Start();
  AddCommand(Command("read", {0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard));
  Atr({0x3B, 0x00});
  Click(1000);
  Select(1020, 1);
  Click(1016);
  QListView* list = W<QListView>(1002);
  for (QAction* action : dialog_->OutputMenu()->actions()) EXPECT_FALSE(action->isEnabled());

  // Every logged row selected by the keyboard: the copy is the text log, byte for byte.
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Home);
  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_End, Qt::ShiftModifier);
  QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(clipboard_.text, ReadFile("test.txt"));
  EXPECT_EQ(clipboard_.text, "3B 00 \r\n00 B0 00 00 04 B0 01 02 03 04 \r\n90 00\r\n");

  const auto actions = dialog_->OutputMenu()->actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_EQ(actions[0]->text().toStdString(), "Copy");
  EXPECT_EQ(actions[1]->text().toStdString(), "Copy with explanations");
  list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select);
  actions[1]->trigger();
  const OutputPanel& output = dialog_->logic().output();
  std::string expected;
  for (int row = 0; row < 4; ++row) {
    expected += RowWithExplanation(Rows(1002)[row], output.ExplainRow(row));
  }
  EXPECT_EQ(clipboard_.text, expected);
  EXPECT_EQ(ReadFile("test.txt"), "3B 00 \r\n00 B0 00 00 04 B0 01 02 03 04 \r\n90 00\r\n");
}

TEST_F(QuorvelDlgTest, AFullRowFitsTheOutputListInAFixedPitchFontOfAnySize) {
  const QFont desktop = QApplication::font();
  for (double points : {desktop.pointSizeF(), 18.0}) {
    QFont font = desktop;
    font.setPointSizeF(points);
    QApplication::setFont(font);
    Start();
    Atr(Sequence(16, 0xD0));
    Click(1000);
    QListView* list = W<QListView>(1002);
    const QFontMetricsF metrics(list->font());
    for (QChar glyph : QStringLiteral("0123456789ABCDEF ")) {
      EXPECT_EQ(metrics.horizontalAdvance(glyph), metrics.horizontalAdvance(QLatin1Char('0')))
          << QFontInfo(list->font()).family().toStdString() << " '" << glyph.toLatin1() << "'";
    }
    const QModelIndex row = list->model()->index(1, 0);
    const QString text = row.data().toString();
    ASSERT_EQ(text.size(), 48);
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int scrollBar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    EXPECT_LE(list->fontMetrics().horizontalAdvance(text) + 2 * margin,
              list->width() - 2 * list->frameWidth() - scrollBar)
        << points;
    Quit();
  }
  QApplication::setFont(desktop);
}

TEST_F(QuorvelDlgTest, TheWindowGrowsWithItsListsKeepsItsSmallestSizeAndIsRemembered) {
  Start();
  const QSize smallest = dialog_->minimumSize();
  const DialogUnits units(dialog_->font());
  EXPECT_GE(smallest.width(), units.ToPixels(402, 196).width());
  EXPECT_EQ(smallest.height(), units.ToPixels(402, 196).height());
  EXPECT_EQ(dialog_->size(), smallest);
  const auto place = [&](int id) { return dialog_->Control(id)->geometry(); };
  const QRect output = place(1002), commands = place(1020), details = place(res::kDetailsPane);
  const QRect resetEdit = place(1008), quit = place(1);

  dialog_->resize(smallest + QSize(90, 60));
  EXPECT_GT(place(1002).width(), output.width());
  EXPECT_GT(place(1002).height(), output.height());
  EXPECT_GT(place(1020).width(), commands.width());
  EXPECT_EQ(place(1020).height(), commands.height() + 60);
  EXPECT_EQ(place(1002).right() + 1, dialog_->width() - (smallest.width() - output.right() - 1));
  EXPECT_EQ(place(res::kDetailsPane).top() - place(1002).bottom(), details.top() - output.bottom());
  EXPECT_EQ(place(res::kDetailsPane).bottom(), details.bottom() + 60);
  EXPECT_EQ(place(1008).top(), resetEdit.top() + 60);
  EXPECT_EQ(place(1), quit);

  dialog_->resize(10, 10);
  EXPECT_EQ(dialog_->size(), smallest);
  dialog_->resize(smallest + QSize(40, 30));
  const QRect grown = place(1002);
  Quit();
  const std::string size =
      std::to_string(smallest.width() + 40) + "x" + std::to_string(smallest.height() + 30);
  EXPECT_THAT(ReadFile(profile_path_), ::testing::HasSubstr("[window]\nsize=" + size + "\n"));
  Start();
  EXPECT_EQ(dialog_->size(), smallest + QSize(40, 30));
  EXPECT_EQ(place(1002), grown);
}

TEST_F(QuorvelDlgTest, CommandEntriesThatDoNotFitShowWholeInTheirTooltip) {
  Start();
  AddCommand(Command("short", {0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard));
  const std::string longComment(63, 'L');
  AddCommand(Command(longComment.c_str(), {0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard));
  QListView* list = W<QListView>(1020);
  EXPECT_TRUE(FullTextToolTips::ShownWhole(*list, list->model()->index(1, 0)));
  EXPECT_FALSE(FullTextToolTips::ShownWhole(*list, list->model()->index(2, 0)));

  const QPoint at = list->visualRect(list->model()->index(2, 0)).center();
  QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
  QApplication::sendEvent(list->viewport(), &help);
  EXPECT_EQ(QToolTip::text().toStdString(), longComment + " (00 B0 00 00 04)");
}

TEST_F(QuorvelDlgTest, SettingsEditsOfferPortNamesWhereTheUserTypesOne) {
  devices_.choices = {{PortChoice::Source::kPresent, "USB0", "/dev/ttyUSB0", "FT232R USB UART"},
                      {PortChoice::Source::kDemo, "DEMO", "DEMO", ""}};
  Start();
  EXPECT_EQ(devices_.choicesRead, 0);  // nothing is looked up at start-up
  const std::size_t applied = line_.linesSet.size();
  QLineEdit* edit = W<QLineEdit>(1012);
  dialog_->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
  edit->setFocus();
  edit->setSelection(0, 4);
  QTest::keyClick(edit, Qt::Key_Backspace);
  QCompleter* completer = edit->findChild<QCompleter*>();
  ASSERT_NE(completer, nullptr);
  EXPECT_TRUE(completer->popup()->isVisible());
  EXPECT_EQ(completer->completionModel()->rowCount(), 2);
  QTest::keyClicks(edit, "u");
  const QModelIndex usb0 = completer->completionModel()->index(0, 0);
  EXPECT_EQ(completer->completionModel()->rowCount(), 1);
  EXPECT_EQ(usb0.data().toString(), "USB0  /dev/ttyUSB0  FT232R USB UART");
  completer->popup()->setCurrentIndex(usb0);
  QTest::keyClick(completer->popup(), Qt::Key_Return);
  EXPECT_EQ(edit->text().toStdString(), "USB0: baud=9600 parity=E data=8 stop=2");
  EXPECT_FALSE(completer->popup()->isVisible());

  // The popup takes no focus: nothing half typed was applied.
  EXPECT_EQ(line_.linesSet.size(), applied);
  EXPECT_THAT(messages_.messages, IsEmpty());
  LoseFocus(1012);
  EXPECT_EQ(TextOf(State().m_executeSettings), "USB0: baud=9600 parity=E data=8 stop=2");
  EXPECT_EQ(devices_.choicesRead, 1);

  // A reader plugged in since is offered in the next round of editing.
  devices_.choices.push_back({PortChoice::Source::kPresent, "ACM0", "/dev/ttyACM0", ""});
  edit->setFocus();
  edit->setSelection(0, 4);
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(completer->completionModel()->rowCount(), 3);
  EXPECT_EQ(devices_.choicesRead, 2);
  QTest::keyClick(completer->popup(), Qt::Key_Escape);
}

TEST_F(QuorvelDlgTest, AReaderThatGoesAwayMidCommandIsToldOnceAndWhatCameIsKept) {
  CardAnswers([](const Bytes& h) { return Bytes{h[1], 0x11, 0x22}; });  // 2 of 4 data bytes
  Start();
  AddCommand(Command("read", {0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard));
  Atr({0x3B});
  Click(1000);
  Select(1020, 1);
  line_.goneAt = clock_.Now() + std::chrono::milliseconds(300);  // while the data come in
  Click(1016);
  EXPECT_THAT(Rows(1002), ElementsAre("Reset...", "3B ", "00 B0 00 00 04 B0 11 22 ", "-- --"));
  EXPECT_EQ(Counter(), "9");
  EXPECT_EQ(ReadFile("test.txt"), "3B \r\n00 B0 00 00 04 B0 11 22 \r\n-- --\r\n");
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_THAT(messages_.messages[0], ::testing::StartsWith("The card reader has gone away ("));

  // The next command fails at once, as on a closed port, and quietly.
  const auto before = clock_.TotalWaited();
  Click(1016);
  EXPECT_EQ(clock_.TotalWaited() - before, std::chrono::milliseconds(50));
  EXPECT_EQ(Rows(1002).back(), "Command execution failed!");
  EXPECT_EQ(messages_.messages.size(), 1u);

  line_.goneAt = std::chrono::nanoseconds::max();  // back again: Reset opens it
  Atr({0x3B, 0x02});
  Click(1000);
  EXPECT_THAT(Rows(1002), ElementsAre("Reset...", "3B 02 "));
  EXPECT_EQ(messages_.messages.size(), 1u);
}

// One side of a pseudo-terminal pair, raw, where the test plays the card on the other.
class CardOnAPseudoTerminal {
 public:
  CardOnAPseudoTerminal() {
    termios raw{};
    cfmakeraw(&raw);
    EXPECT_EQ(openpty(&card_, &reader_, nullptr, &raw, nullptr), 0);
    fcntl(card_, F_SETFL, O_NONBLOCK);
    path_ = ttyname(reader_);
  }
  ~CardOnAPseudoTerminal() { Unplug(); }
  const std::string& path() const { return path_; }

  // The card sends bytes; they are on the reader's side once this returns.
  void Sends(const Bytes& bytes) {
    ASSERT_EQ(write(card_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    int waiting = 0;
    for (int tries = 0; tries < 1000 && waiting < static_cast<int>(bytes.size()); ++tries) {
      usleep(1000);
      ioctl(reader_, FIONREAD, &waiting);
    }
  }
  // What the reader sent, as far as it has come.
  Bytes Received() {
    pollfd ready{card_, POLLIN, 0};
    poll(&ready, 1, 1000);
    Bytes got(64);
    got.resize(std::max<ssize_t>(read(card_, got.data(), got.size()), 0));
    return got;
  }
  void Unplug() {
    if (card_ >= 0) close(card_);
    if (reader_ >= 0) close(reader_);
    card_ = reader_ = -1;
  }

 private:
  int card_ = -1;
  int reader_ = -1;
  std::string path_;
};

TEST_F(QuorvelDlgTest, AReaderBehindAPseudoTerminalWorksWithTheDefaultsAndComesBack) {
  auto card = std::make_unique<CardOnAPseudoTerminal>();
  const fs::path link = dir_ / "reader";
  fs::create_symlink(card->path(), link);
  SystemDeviceFactory devices({{"COM2", link.string()}}, clock_);
  Start(&devices);
  EXPECT_THAT(messages_.messages, IsEmpty());
  AddCommand(Command("read", {0x00, 0xB0, 0x00, 0x00, 0x02}, kFromCard));

  // The card answers the reset: its ATR comes during the wait for it, after the pulse.
  Bytes atr = {0x3B, 0x00};
  clock_.beforeWait = [&](std::chrono::milliseconds wait) {
    if (wait == CCardPort::kAnswerWait && !atr.empty()) card->Sends(std::exchange(atr, {}));
  };
  Click(1000);
  card->Sends({0x00, 0xB0, 0x00, 0x00, 0x02, 0xB0, 0x12, 0x34, 0x90, 0x00});  // echo, answer
  Select(1020, 1);
  Click(1016);
  EXPECT_THAT(Rows(1002), ElementsAre("Reset...", "3B 00 ", "00 B0 00 00 02 B0 12 34 ", "90 00"));
  EXPECT_THAT(card->Received(), ElementsAre(0x00, 0xB0, 0x00, 0x00, 0x02));
  EXPECT_THAT(messages_.messages, IsEmpty());

  card->Unplug();
  Click(1016);
  Click(1016);
  EXPECT_THAT(
      messages_.messages,
      ElementsAre("The card reader has gone away (" + link.string() +
                  ": Input/output error).\nWhen it is back, click Reset to open it again."));
  EXPECT_EQ(Counter(), "10");

  card = std::make_unique<CardOnAPseudoTerminal>();  // a new device behind the same name
  fs::remove(link);
  fs::create_symlink(card->path(), link);
  atr = {0x3B, 0x01};
  Click(1000);
  EXPECT_THAT(Rows(1002), ElementsAre("Reset...", "3B 01 "));
  EXPECT_EQ(messages_.messages.size(), 1u);
}

}  // namespace
}  // namespace quorvel::gui

namespace quorvel::gui {
namespace {

// The window while the card talks, at the demo card's real pace.
class QuorvelDlgRunTest : public QuorvelDlgTest {
 protected:
  void Trigger(QMenu* menu, const char* text) {
    for (QAction* action : menu->actions()) {
      if (action->text() == QLatin1String(text)) {
        action->trigger();
        return;
      }
    }
    FAIL() << "no menu item " << text;
  }
  void ExecuteAll() { Trigger(dialog_->CommandMenu(), "Execute &all"); }
  void ExecuteFromHere() { Trigger(dialog_->CommandMenu(), "Execute &from here"); }
  std::string RunLine() { return dialog_->RunLine()->text().toStdString(); }
  // Lets the event loop run until `done` holds; a minute at most, then the test fails.
  void RunUntil(const std::function<bool()>& done) {
    const auto bound = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
      if (std::chrono::steady_clock::now() > bound) {
        ADD_FAILURE() << "waited a minute in vain; the run line says: " << RunLine();
        return;
      }
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
  }
  // The command the run line says is running, 0 when it says nothing of the kind. Steps may
  // arrive together, so a test waits for a number at least as high as it needs.
  int CommandRunning() {
    int number = 0;
    return std::sscanf(RunLine().c_str(), "Command %d of", &number) == 1 ? number : 0;
  }
  void AddReads(int count) {
    AddCommand(Command("select", {0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x2F, 0xE2}));
    for (int i = 0; i < count; ++i)
      AddCommand(Command("read", {0x00, 0xB0, 0x00, 0x00, 0x0A}, kFromCard));
  }

  // Starts with COM2 pointing at DEM1, the T=1 demo card.
  void StartWithDem1(Clock& clock) {
    std::ofstream(profile_path_) << "[ports]\nCOM2=DEM1\n";
    demo_ =
        std::make_unique<SystemDeviceFactory>(Profile::Load(profile_path_).Section("ports"), clock);
    Start(demo_.get(), &clock);
  }

  SystemClock real_clock_;
};

// What a Reset or a command uses, or what would start another: off while one runs.
constexpr int kOffWhileExchanging[] = {1000, 1016, 1015, 1009, 1010, 1014,
                                       1013, 1022, 1023, 1008, 1012, 1020};

TEST_F(QuorvelDlgRunTest, TheWindowKeepsWorkingWhileTheCardTalks) {
  StartWithDemoCard(&real_clock_);
  AddReads(1);
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(10);
  W<QPushButton>(1000)->click();  // a Reset: 300 ms with its described waits
  ASSERT_TRUE(dialog_->logic().ExchangeRunning());
  for (int id : kOffWhileExchanging) EXPECT_FALSE(dialog_->Control(id)->isEnabled()) << id;
  EXPECT_TRUE(dialog_->Control(1002)->isEnabled());
  EXPECT_TRUE(dialog_->Control(1)->isEnabled());
  RunUntil([&] { return !dialog_->logic().ExchangeRunning(); });
  EXPECT_GE(ticks, 10);  // the event loop went on all the while
  for (int id : kOffWhileExchanging) EXPECT_TRUE(dialog_->Control(id)->isEnabled()) << id;
  EXPECT_EQ(Rows(1002).size(), 2u);  // "Reset..." and the 16-byte ATR
  EXPECT_EQ(Counter(), "16");

  // A message the port raises on the line shows on the window's thread, in its place.
  Type(1012, "COM9: baud=9600 parity=E data=8 stop=2");
  messages_.messages.clear();
  W<QPushButton>(1000)->click();
  RunUntil([&] { return !dialog_->logic().ExchangeRunning(); });
  ASSERT_FALSE(messages_.messages.empty());
  EXPECT_THAT(messages_.messages[0], ::testing::StartsWith("Could not create handle"));
  EXPECT_THAT(messages_.threads, ::testing::Each(std::this_thread::get_id()));
  EXPECT_THAT(Rows(1002), ElementsAre("Reset..."));
}

TEST_F(QuorvelDlgRunTest, ExecuteAllShowsAndLogsWhatOneByOneExecutesDo) {
  StartWithDemoCard();
  AddReads(2);
  Click(1000);
  for (int entry = 1; entry <= 3; ++entry) {
    Select(1020, entry);
    Click(1016);
  }
  const auto oneByOneRows = Rows(1002);
  const std::string oneByOneLog = ReadFile("test.txt");
  const std::string oneByOneCount = Counter();

  Click(1000);
  Select(1020, 0);
  ExecuteAll();
  WaitForTheLine();
  EXPECT_EQ(Rows(1002), oneByOneRows);
  EXPECT_EQ(ReadFile("test.txt"), oneByOneLog);
  EXPECT_EQ(Counter(), oneByOneCount);
  EXPECT_EQ(Selected(1020), 3);  // the selection followed the commands
  EXPECT_THAT(RunLine(), ::testing::MatchesRegex("3 commands: 3 completed, 0 failed, .* s"));
  EXPECT_TRUE(dialog_->RunLine()->isVisible());
  EXPECT_FALSE(dialog_->StopButton()->isVisible());

  Select(1020, 2);
  ExecuteFromHere();
  WaitForTheLine();
  EXPECT_THAT(RunLine(), ::testing::StartsWith("2 commands: 2 completed"));
  Click(1000);  // the summary stays until the next Reset or Execute
  EXPECT_FALSE(dialog_->RunLine()->isVisible());
}

TEST_F(QuorvelDlgRunTest, ARunStopsAtAFailedCommandUnlessToldToGoOn) {
  StartWithDemoCard();
  AddReads(1);
  AddCommand(Command("unknown", {0x00, 0xCA, 0x00, 0x00, 0x00}, kFromCard));
  AddCommand(Command("read", {0x00, 0xB0, 0x00, 0x00, 0x0A}, kFromCard));
  Click(1000);
  ExecuteAll();
  WaitForTheLine();
  EXPECT_THAT(RunLine(), ::testing::StartsWith("Stopped at command 3 of 4, which failed. "
                                               "3 commands: 2 completed, 1 failed"));
  EXPECT_EQ(Rows(1002).back(), "00 CA 00 00 00 6D 00 ");

  dialog_->StopAtFailureAction()->trigger();
  ExecuteAll();
  WaitForTheLine();
  EXPECT_THAT(RunLine(), ::testing::StartsWith("4 commands: 3 completed, 1 failed"));
  Quit();
  EXPECT_THAT(ReadFile(profile_path_), ::testing::HasSubstr("stop-at-failure=off"));
}

TEST_F(QuorvelDlgRunTest, StopEndsTheRunAfterTheCommandInProgress) {
  StartWithDemoCard(&real_clock_);
  AddReads(20);
  Click(1000);
  ExecuteAll();
  EXPECT_TRUE(dialog_->StopButton()->isVisible());
  RunUntil([&] { return CommandRunning() >= 3; });
  QTest::mouseClick(dialog_->StopButton(), Qt::LeftButton);
  RunUntil([&] { return !dialog_->logic().ExchangeRunning(); });
  int stoppedAfter = 0;
  ASSERT_EQ(std::sscanf(RunLine().c_str(), "Stopped after command %d of 21. ", &stoppedAfter), 1)
      << RunLine();
  EXPECT_GE(stoppedAfter, 3);
  EXPECT_LT(stoppedAfter, 21);
  // Every command that began ended with its status row.
  EXPECT_EQ(Rows(1002).back(), "90 00");
}

TEST_F(QuorvelDlgRunTest, AWindowDestroyedDuringAnExchangeEndsItsLineFirst) {
  // What an application quitting, or a parent deleting the window, does mid-run.
  StartWithDemoCard(&real_clock_);
  AddReads(20);
  Click(1000);
  ExecuteAll();
  RunUntil([&] { return CommandRunning() >= 2; });
  ASSERT_TRUE(dialog_->logic().ExchangeRunning());
  dialog_.reset();
  EXPECT_THAT(ReadFile("test.txt"), ::testing::EndsWith("90 00\r\n"));
}

TEST_F(QuorvelDlgRunTest, ClosingDuringARunWaitsForTheCommandInProgress) {
  StartWithDemoCard(&real_clock_);
  AddReads(20);
  Click(1000);
  ExecuteAll();
  RunUntil([&] { return CommandRunning() >= 2; });
  dialog_->reject();  // the close box
  EXPECT_TRUE(dialog_->isVisible());
  RunUntil([&] { return !dialog_->isVisible(); });
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
  const auto rows = Rows(1002);
  EXPECT_LT(rows.size(), 2u + 2 + 20 * 2);  // it did not run to the end
  EXPECT_EQ(rows.back(), "90 00");
  Quit();
  // The log holds every row but the marker, whole.
  std::string logged;
  for (std::size_t i = 1; i < rows.size(); ++i) logged += rows[i] + "\r\n";
  EXPECT_EQ(ReadFile("test.txt"), logged);
}

TEST_F(QuorvelDlgRunTest, SpeedNegotiationIsASwitchOfTheWindowMenu) {
  std::ofstream(profile_path_) << "[ports]\nCOM2=DEMF\n";
  demo_ =
      std::make_unique<SystemDeviceFactory>(Profile::Load(profile_path_).Section("ports"), clock_);
  Start(demo_.get());
  Click(1000);
  EXPECT_EQ(Rows(1002).size(), 3u);  // "Reset..." and the 19-byte ATR: the described Reset
  dialog_->SpeedNegotiationAction()->trigger();
  Click(1000);
  EXPECT_EQ(Rows(1002).back(), "FF 10 96 79 FF 10 96 79 ");
  EXPECT_EQ(Counter(), "27");
  EXPECT_EQ(ReadFile("test.txt").substr(ReadFile("test.txt").size() - 26),
            "FF 10 96 79 FF 10 96 79 \r\n");
  Quit();
  EXPECT_THAT(ReadFile(profile_path_), ::testing::HasSubstr("pps=on"));

  // Kept for the next start, with the reader's clock: at 6 MHz DEMF starts at 16129 baud, and
  // after PPS runs at 375000.
  std::ofstream(profile_path_)
      << "[ports]\nCOM2=DEMF\n[options]\npps=on\n[reader]\nclock=6000000\n";
  demo_ =
      std::make_unique<SystemDeviceFactory>(Profile::Load(profile_path_).Section("ports"), clock_);
  demo_->SetReaderClockHz(6000000);
  Start(demo_.get());
  EXPECT_TRUE(dialog_->SpeedNegotiationAction()->isChecked());
  Type(1008, "COM2: baud=16129 parity=E data=8 stop=2");
  Type(1012, "COM2: baud=16129 parity=E data=8 stop=2");
  Click(1000);
  ASSERT_EQ(Rows(1002).back(), "FF 10 96 79 FF 10 96 79 ");
  const int ppsRow = static_cast<int>(Rows(1002).size()) - 1;
  EXPECT_THAT(dialog_->logic().output().ExplainRow(ppsRow),
              ::testing::HasSubstr("375000 baud at 6 MHz"));
}

TEST_F(QuorvelDlgRunTest, TheNegotiatedRateHoldsWhenTheSettingsBoxLosesTheFocus) {
  // ISO/IEC 7816-3 clause 9: the card speaks at the PPS rate until it is reset again.
  std::ofstream(profile_path_) << "[ports]\nCOM2=DEMF\n[options]\npps=on\n";
  demo_ =
      std::make_unique<SystemDeviceFactory>(Profile::Load(profile_path_).Section("ports"), clock_);
  Start(demo_.get());
  AddCommand(Command("select", {0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard, {0x7F, 0x10}));
  Click(1000);
  ASSERT_EQ(Rows(1002).back(), "FF 10 96 79 FF 10 96 79 ");
  LoseFocus(1012);
  Select(1020, 1);
  Click(1016);
  EXPECT_EQ(Rows(1002).back(), "61 09");
}

TEST_F(QuorvelDlgRunTest, ACommandScriptLoadsRunsWithItsExpectationsAndSavesByItsName) {
  StartWithDemoCard();
  std::ofstream("demo.txt") << "log run.txt\n"
                               "reset settings COM2: baud=9600 parity=E data=8 stop=2\n"
                               "execute settings COM2: baud=9600 parity=E data=8 stop=2\n"
                               "00 A4 00 00 02 > 7F 10 (61 XX) # select DF\n"
                               "reset\n"
                               "00 84 00 00 08 (90 00) [E1 8B 64 00 F2 FE 8A 12] # challenge\n"
                               "00 84 00 00 08 (6A 82) # not so\n";
  files_.answers = {std::string("demo.txt")};
  Click(1009);
  EXPECT_EQ(files_.requests.back().filter,
            "SmartCard Configuration files (*.scc) | *.scc|All Files (*.*)|*.*|"
            "Command scripts (*.txt)|*.txt||");
  EXPECT_THAT(Rows(1020), ElementsAre("New Command", "select DF (00 A4 00 00 02)", "Reset",
                                      "challenge (00 84 00 00 08)", "not so (00 84 00 00 08)"));
  EXPECT_EQ(Title(), "Quorvel [run.txt]");

  Click(1000);
  dialog_->StopAtFailureAction()->trigger();  // go on past the answer not as expected
  ExecuteAll();
  WaitForTheLine();
  EXPECT_THAT(RunLine(), ::testing::StartsWith("3 commands: 3 completed, 0 failed, 1 answer not "
                                               "as expected"));
  // At the window's first size the whole summary shows, on two lines if need be.
  const QLabel* summary = dialog_->RunLine();
  if (summary->wordWrap()) {
    EXPECT_GE(summary->height(), summary->heightForWidth(summary->width()));
  } else {
    EXPECT_LE(summary->sizeHint().width(), summary->width());
  }
  const auto rows = Rows(1002);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), "Reset..."), 2);  // the script's Reset ran
  EXPECT_THAT(dialog_->logic().output().ExplainRow(static_cast<int>(rows.size()) - 1),
              ::testing::HasSubstr("The command expected 6A 82, got 90 00."));
  EXPECT_THAT(dialog_->logic().output().ExplainRow(static_cast<int>(rows.size()) - 3),
              ::testing::HasSubstr("expected 90 00 with data E1 8B 64 00 F2 FE 8A 12: met"));

  // Saved under its own kind of name, it keeps everything; as an SCC file, only after a Yes.
  files_.answers = {std::string("again.txt"), std::string("list.scc"), std::string("list.scc")};
  Click(1010);
  EXPECT_THAT(ReadFile("again.txt"), ::testing::HasSubstr("\nreset\n"));
  EXPECT_THAT(ReadFile("again.txt"), ::testing::HasSubstr("(6A 82) # not so"));
  Click(1010);
  ASSERT_EQ(questions_.asked.size(), 1u);
  EXPECT_THAT(questions_.asked[0], ::testing::StartsWith("The list holds 3 expected answers and 1 "
                                                         "Reset line, which an SCC file cannot"));
  EXPECT_FALSE(fs::exists("list.scc"));
  questions_.answers = {true};
  Click(1010);
  EXPECT_EQ(fs::file_size("list.scc"), 1104u + 3 * 620);
  EXPECT_EQ(TextOf(State().m_configPath), "list.scc");
}

TEST_F(QuorvelDlgRunTest, AutomaticAnswersAreASwitchTheProfileKeeps) {
  StartWithDemoCard();
  EXPECT_FALSE(dialog_->AutomaticResponsesAction()->isChecked());
  dialog_->AutomaticResponsesAction()->trigger();
  AddCommand(Command("select DF", {0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard, {0x7F, 0x10}));
  Click(1000);
  Select(1020, 1);
  Click(1016);
  EXPECT_THAT(Rows(1002),
              ::testing::ElementsAre("Reset...", ::testing::_, "00 A4 00 00 02 A4 7F 10 ", "61 09",
                                     "00 C0 00 00 09 C0 62 07 82 01 38 83 02 7F 10 ", "90 00"));
  Quit();
  EXPECT_THAT(ReadFile(profile_path_), ::testing::HasSubstr("auto-response=on"));
  StartWithDemoCard(nullptr, "[options]\nauto-response=on\n");
  EXPECT_TRUE(dialog_->AutomaticResponsesAction()->isChecked());
}

// DEM1 through the window: T=1 set up after the Reset, a READ BINARY of 255 bytes as the
// echo of its I-block and the card's two blocks, each its own rows and explained.
TEST_F(QuorvelDlgRunTest, TheT1DemoCardRunsWithRowsPerBlock) {
  StartWithDem1(clock_);
  AddCommand(Command("select DF", {0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x7F, 0x10}));
  AddCommand(Command("select EF", {0x00, 0xA4, 0x00, 0x0C, 0x02}, kToCard, {0x6F, 0x03}));
  AddCommand(Command("read all", {0x00, 0xB0, 0x00, 0x00, 0xFF}, kFromCard));
  Click(1000);
  EXPECT_THAT(Rows(1002), ElementsAre("Reset...", ::testing::_, "45 4D 31 C4 ", "00 C1 01 FE 3E ",
                                      "00 E1 01 FE 1E "));
  EXPECT_THAT(dialog_->logic().output().ExplainRow(3),
              ::testing::HasSubstr("Setting T=1 up after the ATR"));
  ExecuteAll();
  WaitForTheLine();
  EXPECT_THAT(RunLine(), ::testing::StartsWith("3 commands: 3 completed"));
  const auto rows = Rows(1002);
  // The read: the echo of its I-block (9), the card's 258-byte block (17 rows), the R-block
  // (4), the last block (7), the status row.
  ASSERT_GE(rows.size(), 21u);
  const std::vector<std::string> read(rows.end() - 21, rows.end());
  EXPECT_EQ(read[0], "00 00 05 00 B0 00 00 FF 4A ");
  EXPECT_EQ(read[1], "00 20 FE 00 01 02 03 04 05 06 07 08 09 0A 0B 0C ");
  EXPECT_EQ(read[18], "00 90 00 90 ");
  EXPECT_EQ(read[19], "00 40 03 FE 90 00 2D ");
  EXPECT_EQ(read[20], "90 00");
  const int lastBlock = static_cast<int>(rows.size()) - 2;
  EXPECT_THAT(dialog_->logic().output().ExplainRow(lastBlock),
              ::testing::HasSubstr("block from the card: I-block N(S)=1, 3 bytes of the answer"));
  EXPECT_THAT(ReadFile("test.txt"), ::testing::EndsWith("00 40 03 FE 90 00 2D \r\n90 00\r\n"));
}

// A silent card leaves Quorvel waiting block waiting times of 1.6 s each: Stop ends the wait
// within a poll, keeps what was shown and logged, and the next Reset and command work.
TEST_F(QuorvelDlgRunTest, StopEndsAWaitForASilentT1CardMidBlock) {
  StartWithDem1(real_clock_);
  AddCommand(Command("silence", {0x80, 0xFA, 0x04, 0x00, 0x00}, kFromCard));
  for (int i = 0; i < 5; ++i)
    AddCommand(Command("read", {0x00, 0xB0, 0x00, 0x00, 0x10}, kFromCard));
  dialog_->StopAtFailureAction()->trigger();  // off: only Stop ends this run
  Click(1000);
  ExecuteAll();
  RunUntil([&] { return CommandRunning() >= 2; });
  QTest::qWait(200);  // well inside the first block waiting time
  const auto stoppedAt = std::chrono::steady_clock::now();
  QTest::mouseClick(dialog_->StopButton(), Qt::LeftButton);
  RunUntil([&] { return !dialog_->logic().ExchangeRunning(); });
  EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, std::chrono::milliseconds(1000));
  EXPECT_THAT(RunLine(), ::testing::StartsWith("Stopped after command 2 of 6."));
  const auto rows = Rows(1002);
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[rows.size() - 2], "Command execution failed!");
  EXPECT_EQ(rows.back(), "00 40 05 00 B0 00 00 10 E5 ");  // the echo of the read's block
  EXPECT_THAT(dialog_->logic().output().ExplainRow(static_cast<int>(rows.size()) - 2),
              ::testing::HasSubstr("Stopped in the middle of a block exchange"));
  EXPECT_THAT(ReadFile("test.txt"),
              ::testing::EndsWith("90 00\r\n00 40 05 00 B0 00 00 10 E5 \r\n"));

  Click(1000);
  Select(1020, 2);
  Click(1016);
  EXPECT_EQ(Rows(1002).back(), "69 86");  // the card answers again: no EF selected yet
}

// The window on PC/SC readers: the tests' own pcscd, its virtual demo card in PCS0, and cards of
// a test's own in PCS1. The real clock: pcscd answers in its own time.
class PcscdWindowTest : public QuorvelDlgRunTest {
 protected:
  void SetUp() override {
    QuorvelDlgRunTest::SetUp();
    if (getenv("PCSCLITE_CSOCK_NAME") == nullptr) {
      GTEST_SKIP() << "needs the tests' own pcscd: run through ctest";
    }
    std::ofstream(profile_path_) << "[ports]\nNONE=/nonexistent/tty\n";
    readers_ = std::make_unique<SystemDeviceFactory>(Profile::Load(profile_path_).Section("ports"),
                                                     real_clock_);
    Start(readers_.get(), &real_clock_);
    messages_.messages.clear();  // whatever the machine's COM2, the default port, is
  }
  void OnReader(const std::string& port) {
    Type(1008, port);
    Type(1012, port);
  }
  // Everything shown for the Reset row, and the messages so far.
  std::string ResetExplained() { return dialog_->logic().output().ExplainRow(0); }

  std::unique_ptr<SystemDeviceFactory> readers_;
};

TEST_F(PcscdWindowTest, ResetsTheCardInPcs0AndRunsAList) {
  AddReads(2);  // SELECT EF 2FE2, then READ BINARY of its 10 bytes twice
  OnReader("PCS0: baud=9600 parity=E data=8 stop=2");
  Click(1000);
  EXPECT_THAT(Rows(1002),
              ElementsAre("Reset...", "3B 8C 80 01 51 55 4F 52 56 45 4C 20 44 45 4D 4F ", "68 "));
  EXPECT_EQ(Counter(), "17");
  EXPECT_THAT(ResetExplained(), ::testing::HasSubstr("(a PC/SC reader resets the card itself: "
                                                     "powered off and on again)"));
  EXPECT_THAT(ResetExplained(), ::testing::Not(::testing::HasSubstr("Inv is")));
  EXPECT_THAT(ResetExplained(), ::testing::HasSubstr("Reader: Virtual PCD 00 00"));
  EXPECT_THAT(ResetExplained(), ::testing::HasSubstr("Protocol: T=0"));
  EXPECT_THAT(ResetExplained(), ::testing::HasSubstr("line clauses (baud, parity, data, stop) "
                                                     "mean nothing to a PC/SC reader"));

  Select(1020, 0);
  ExecuteAll();
  WaitForTheLine();
  EXPECT_THAT(RunLine(), ::testing::StartsWith("3 commands: 3 completed, 0 failed"));
  // No echo and no procedure byte: the answer's data, then its status word.
  const std::string number = "98 94 01 00 00 00 00 00 21 F3 ";
  EXPECT_THAT(Rows(1002), ElementsAre("Reset...", ::testing::_, "68 ", "90 00", number, "90 00",
                                      number, "90 00"));
  EXPECT_EQ(Counter(), "37");
  EXPECT_EQ(ReadFile("test.txt"),
            "3B 8C 80 01 51 55 4F 52 56 45 4C 20 44 45 4D 4F \r\n68 \r\n"
            "90 00\r\n" +
                number + "\r\n90 00\r\n" + number + "\r\n90 00\r\n");
  EXPECT_THAT(messages_.messages, ::testing::IsEmpty());

  // A port that cannot be opened lists the PC/SC readers among the ports there are.
  OnReader("NONE");
  Click(1000);
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_THAT(messages_.messages[0],
              ::testing::HasSubstr("\nPC/SC readers:\n  PCS0  Virtual PCD 00 00  card present\n"
                                   "  PCS1  Virtual PCD 00 01  no card\n"));
}

TEST_F(PcscdWindowTest, ACardPulledMidRunIsToldOnceAndTheRunStops) {
  testing::VirtualCardProcess card;
  PcscContext context;
  ASSERT_FALSE(context.Establish());
  ASSERT_TRUE(card.WaitFor("ready"));
  ASSERT_FALSE(WaitForPcscCard(context, testing::kTestCardReader, true, std::chrono::seconds(10)));
  AddReads(2);
  OnReader("PCS1");
  Click(1000);
  ASSERT_EQ(Rows(1002).size(), 3u);
  ASSERT_TRUE(card.Tell("hold"));
  Select(1020, 0);
  ExecuteAll();
  ASSERT_TRUE(card.WaitFor("held"));  // the SELECT waits at the card: pull it now
  ASSERT_TRUE(card.Tell("remove"));
  WaitForTheLine();
  EXPECT_THAT(RunLine(), ::testing::HasSubstr("1 of 3"));
  EXPECT_EQ(Rows(1002).back(), "Command execution failed!");
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_THAT(messages_.messages[0], ::testing::HasSubstr("\"Virtual PCD 00 01\""));
  EXPECT_THAT(messages_.messages[0], ::testing::EndsWith("click Reset to use it again."));
  // What came before stays, shown and logged.
  EXPECT_EQ(ReadFile("test.txt"), "3B 8C 80 01 51 55 4F 52 56 45 4C 20 44 45 4D 4F \r\n68 \r\n");
  EXPECT_FALSE(WaitForPcscCard(context, testing::kTestCardReader, false, std::chrono::seconds(10)));
  // The connection ended with the card gone, which marks the reader empty at once: pcscd's own
  // poll (every 0.4 s) must see it go too, or the next card put in would go unnoticed.
  std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace
}  // namespace quorvel::gui
