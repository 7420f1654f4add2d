// The card explorer, driven headless through its real widgets over the main window and the
// demo UICC DEMU (PIN1 "1234", 3 tries), with scripted modal services.
#include "explore/qt/explorer_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/qt/quorvel_dlg.h"
#include "port/system_device_factory.h"
#include "support/fake_clock.h"
#include "support/recording_message_sink.h"
#include "support/scripted_services.h"
#include "support/temp_folder.h"

namespace quorvel::gui {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class ScriptedPins final : public PinQuestion {
 public:
  std::optional<std::string> AskPin(const std::string& name, const std::string& text) override {
    asked.push_back(name + " / " + text);
    return answer;
  }
  std::optional<std::string> answer;
  std::vector<std::string> asked;
};

class ExplorerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    fs::current_path(folder_.path());
    std::ofstream("Quorvel.INI") << "[ports]\nCOM2=DEMU\n";
  }
  void TearDown() override {
    dialog_.reset();
    fs::current_path(old_cwd_);
  }

  // The main window, then "Explore the card..." from its window menu.
  CExplorerWindow& Open(Clock& clock) {
    profile_ = std::make_unique<Profile>(Profile::Load("Quorvel.INI"));
    devices_ = std::make_unique<SystemDeviceFactory>(profile_->Section("ports"), clock);
    MainWindowDeps deps{*devices_, clock, *profile_, &messages_, &files_};
    deps.questions = &questions_;
    deps.pins = &pins_;
    dialog_ = std::make_unique<CQuorvelDlg>(deps);
    dialog_->show();
    EXPECT_TRUE(dialog_->WindowMenu()->actions().contains(dialog_->ExploreAction()));
    dialog_->ExploreAction()->trigger();
    return *dialog_->Explorer();
  }
  // Lets the event loop run until the explorer and the line have ended their work.
  void WaitUntil(const std::function<bool()>& done) {
    const auto bound = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
      ASSERT_LT(std::chrono::steady_clock::now(), bound) << "waited a minute in vain";
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    QCoreApplication::processEvents();
  }
  void WaitForTheWalk() {
    WaitUntil([&] { return !Explorer().logic().running() && dialog_->logic().LineIdle(); });
  }
  CExplorerWindow& Explorer() { return *dialog_->Explorer(); }
  std::string Status() { return Explorer().StatusLine()->text().toStdString(); }
  // The item reached through each text in turn from the top of the tree.
  QTreeWidgetItem* Item(const std::vector<const char*>& texts) {
    QTreeWidgetItem* item = Explorer().Tree()->invisibleRootItem();
    for (const char* text : texts) {
      QTreeWidgetItem* found = nullptr;
      for (int i = 0; i < item->childCount() && !found; ++i) {
        if (item->child(i)->text(0) == QString::fromUtf8(text)) found = item->child(i);
      }
      if (!found) {
        ADD_FAILURE() << "no item " << text;
        return nullptr;
      }
      item = found;
    }
    return item;
  }
  std::string StatusOf(const std::vector<const char*>& texts) {
    QTreeWidgetItem* item = Item(texts);
    return item ? item->text(4).toStdString() : "(none)";
  }
  int OutputRows() { return qobject_cast<QListView*>(dialog_->Control(1002))->model()->rowCount(); }

  testing::TempFolder folder_{"explorer"};
  fs::path old_cwd_;
  testing::FakeClock fake_clock_;
  SystemClock real_clock_;
  testing::RecordingMessageSink messages_;
  testing::ScriptedFileChooser files_;
  testing::ScriptedQuestion questions_;
  ScriptedPins pins_;
  std::unique_ptr<Profile> profile_;
  std::unique_ptr<SystemDeviceFactory> devices_;
  std::unique_ptr<CQuorvelDlg> dialog_;
};

const std::vector<const char*> kUsimImsi = {"3F00 MF", "7FFF ADF.USIM", "6F07 EF.IMSI"};

TEST_F(ExplorerWindowTest, OpensBesideTheWindowAndShowsTheLockedUsimFileByFile) {
  CExplorerWindow& explorer = Open(fake_clock_);
  EXPECT_TRUE(explorer.isVisible());
  EXPECT_FALSE(explorer.isModal());
  EXPECT_GE(explorer.x(), dialog_->frameGeometry().right());
  WaitForTheWalk();

  EXPECT_THAT(Status(), HasSubstr("UICC: 26 files, 79 exchanges"));
  EXPECT_THAT(Status(), HasSubstr("PIN1 enabled"));
  EXPECT_EQ(explorer.Tree()->topLevelItemCount(), 1);
  // Behind PIN1 (69 82, TS 102 221 10.2.1.3): marked, nothing read, nothing verified.
  EXPECT_EQ(StatusOf(kUsimImsi), "needs PIN1 (69 82)");
  EXPECT_TRUE(Item(kUsimImsi)->font(4).bold());
  EXPECT_EQ(Item(kUsimImsi)->childCount(), 0);
  EXPECT_TRUE(Item({"3F00 MF", "7FFF ADF.USIM", "6F46 EF.SPN", "name: Quorvel Télécom"}));
  EXPECT_TRUE(Item({"3F00 MF", "7FFF ADF.USIM", "6FB7 EF.ECC",
                    "record 3: 39 F3 FF 50 6F 6C 69 63 65 FF FF FF FF 01", "alpha: Police"}));
  EXPECT_EQ(Item({"3F00 MF", "2FE2 EF.ICCID"})->text(2), "10 bytes");
  // Every exchange is the output list's, counted and logged like any command's.
  EXPECT_GT(OutputRows(), 2 * 79);
  EXPECT_THAT(testing::ReadFileBytes("test.txt"), HasSubstr("00 A4 00 04 02 A4 3F 00"));
  EXPECT_TRUE(explorer.VerifyButton()->isEnabled());
  EXPECT_FALSE(explorer.StopButton()->isEnabled());
  EXPECT_TRUE(pins_.asked.empty());

  // Export JSON...: one object a file, as --explore --format jsonl prints them.
  files_.answers.push_back((folder_.path() / "card.jsonl").string());
  explorer.ExportButton()->click();
  const std::string json = testing::ReadFileBytes(folder_.path() / "card.jsonl");
  EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 26);
  EXPECT_THAT(json, ::testing::StartsWith(R"({"path": "3F00", "name": "MF")"));
}

TEST_F(ExplorerWindowTest, VerifyPin1TellsTheTriesSendsThePinOnceAndWalksAgain) {
  CExplorerWindow& explorer = Open(fake_clock_);
  WaitForTheWalk();
  pins_.answer = "9999";
  explorer.VerifyButton()->click();
  WaitForTheWalk();
  EXPECT_THAT(pins_.asked, ::testing::ElementsAre("PIN1 / PIN1: 3 tries left."));
  EXPECT_THAT(Status(), HasSubstr("wrong PIN1: 2 tries left"));
  EXPECT_EQ(StatusOf(kUsimImsi), "needs PIN1 (69 82)");

  pins_.answer = "1234";
  explorer.VerifyButton()->click();
  WaitForTheWalk();
  EXPECT_EQ(pins_.asked.back(), "PIN1 / PIN1: 2 tries left.");
  EXPECT_THAT(Status(), HasSubstr("PIN1 verified"));
  EXPECT_THAT(Status(), HasSubstr("UICC: 26 files, 91 exchanges"));
  EXPECT_EQ(StatusOf(kUsimImsi), "read");
  EXPECT_TRUE(Item({"3F00 MF", "7FFF ADF.USIM", "6F07 EF.IMSI", "imsi: 310410123456789"}));

  // Verified already: nothing is asked, the card's answer is said.
  explorer.VerifyButton()->click();
  WaitForTheWalk();
  EXPECT_EQ(pins_.asked.size(), 2u);
  EXPECT_THAT(messages_.messages.back(), HasSubstr("nothing to verify"));
}

TEST_F(ExplorerWindowTest, StopEndsTheWalkBetweenTwoCommandsAndTheWindowStaysLive) {
  CExplorerWindow& explorer = Open(real_clock_);
  ASSERT_TRUE(explorer.logic().running());
  EXPECT_TRUE(explorer.StopButton()->isEnabled());
  EXPECT_FALSE(explorer.WalkButton()->isEnabled());
  WaitUntil([&] { return OutputRows() > 12; });
  explorer.StopButton()->click();
  WaitForTheWalk();
  EXPECT_THAT(Status(), HasSubstr("stopped on request"));
  EXPECT_FALSE(explorer.logic().walk().completed);

  // Closing the main window during a walk ends it after the command in progress.
  explorer.WalkButton()->click();
  WaitUntil([&] { return OutputRows() > 12; });
  dialog_.reset();
}

}  // namespace
}  // namespace quorvel::gui
