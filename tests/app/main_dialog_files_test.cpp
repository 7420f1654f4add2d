// The files the main window reads and writes when they are not what they seem:
// pipes, devices, huge and sparse files, read-only targets, links, full disks.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/fixed_text.h"
#include "app/main_dialog.h"
#include "commands/scc_file.h"
#include "commands/script_scc.h"
#include "commands/script_writer.h"
#include "support/child_process.h"
#include "support/fake_clock.h"
#include "support/fake_controls.h"
#include "support/fake_serial_device.h"
#include "support/recording_message_sink.h"
#include "support/scripted_services.h"
#include "support/temp_folder.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::FinishesWithin;
using ::testing::HasSubstr;
using testing::InChild;
using ::testing::IsEmpty;

class RecordingTitle final : public WindowTitle {
 public:
  void SetTitle(const std::string& text) override { title = text; }
  std::string title;
};

// An SCC file of `commands` commands, then a hole up to `size` bytes.
void WriteSparseScc(const fs::path& path, std::int32_t announced, int commands,
                    std::uint64_t size) {
  SccSettings settings{};
  CopyText(settings.logFileName, "sparse.log");
  CopyText(settings.executeSettings, "COM2: baud=9600 parity=E data=8 stop=2");
  std::vector<std::unique_ptr<CardCommand>> records;
  for (int i = 0; i < commands; ++i) records.push_back(std::make_unique<CardCommand>());
  std::vector<std::uint8_t> bytes = EncodeScc(settings, records);
  for (int i = 0; i < 4; ++i)
    bytes[kSccCountAt + i] =
        static_cast<std::uint8_t>(static_cast<std::uint32_t>(announced) >> (8 * i));
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
}

class MainDialogFilesTest : public ::testing::Test {
 protected:
  MainDialogFilesTest() : line_(clock_), devices_(line_) {}

  void SetUp() override {
    old_cwd_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    dialog_.reset();
    fs::current_path(old_cwd_);
  }

  // Starts the window with the profile naming `remembered`; a start that hangs or
  // crashes fails the test.
  void Start(const std::string& remembered = "NULL", bool fileFollows = false) {
    dialog_.reset();
    messages_.messages.clear();
    if (remembered != "NULL")
      std::ofstream(profile_path_) << "[config]\nlist=" << remembered << "\n";
    profile_ = std::make_unique<Profile>(Profile::Load(profile_path_));
    dialog_ = std::make_unique<MainDialog>(
        MainDialogControls{output_, commands_, bin_, inv_, execute_, reset_, count_},
        MainDialogServices{messages_, files_, editor_, title_, devices_, clock_, *profile_,
                           questions_});
    ASSERT_TRUE(FinishesWithin(10, [&] { dialog_->OnInitDialog(fileFollows); }))
        << "start-up hangs or dies";
    dialog_->OnInitDialog(fileFollows);
  }

  // Load of `path`, bounded in time like the start.
  void Load(const std::string& path) {
    files_.answers.push_back(path);  // the child's copy answers it, then this process's
    ASSERT_TRUE(FinishesWithin(10, [&] { dialog_->OnLoad(); })) << "Load hangs or dies";
    dialog_->OnLoad();
  }

  void AddCommand() {
    commands_.SetCurSel(0);
    editor_.steps.push_back({nullptr, EditCommandRunner::kOk});
    dialog_->OnEdit();
  }
  std::string ConfigPath() const { return TextOf(dialog_->state().m_configPath); }
  std::string Remembered() const {
    return Profile::Load(profile_path_).GetString("config", "list", "NULL");
  }

  testing::FakeClock clock_;
  testing::FakeLine line_;
  testing::FakeDeviceFactory devices_;
  testing::FakeListBox output_, commands_;
  testing::FakeCheckBox bin_, inv_;
  testing::FakeEditBox execute_, reset_, count_;
  testing::RecordingMessageSink messages_;
  testing::ScriptedFileChooser files_;
  testing::ScriptedEditor editor_;
  testing::ScriptedQuestion questions_;
  RecordingTitle title_;
  std::unique_ptr<Profile> profile_;
  std::unique_ptr<MainDialog> dialog_;
  testing::TempFolder folder_{"files"};
  const fs::path& dir_ = folder_.path();
  const std::string profile_path_ = (dir_ / "Quorvel.INI").string();
  fs::path old_cwd_;
};

struct HostileFile {
  const char* what;
  std::function<std::string(const fs::path& dir)> make;  // returns the path
  const char* reason;
};

const HostileFile kHostileFiles[] = {
    {"a named pipe",
     [](const fs::path& dir) {
       mkfifo((dir / "pipe.scc").c_str(), 0600);
       return (dir / "pipe.scc").string();
     },
     "it is a named pipe, not a file"},
    {"an endless device", [](const fs::path&) { return std::string("/dev/zero"); },
     "it is a device, not a file"},
    {"a folder", [](const fs::path& dir) { return dir.string(); }, "it is a folder, not a file"},
    {"a sparse 100 GB file that announces 2^31 - 1 commands",
     [](const fs::path& dir) {
       WriteSparseScc(dir / "huge.scc", INT32_MAX, 1, 100ull << 30);
       return (dir / "huge.scc").string();
     },
     "more than the 100000 a list can keep"},
    {"a file shorter than its settings (an SCC file cut short: its names end in zeros)",
     [](const fs::path& dir) {
       std::ofstream(dir / "short.scc") << std::string(500, 'x') << std::string(500, '\0');
       return (dir / "short.scc").string();
     },
     "it holds 1000 bytes, fewer than the 1104"},
};

TEST_F(MainDialogFilesTest, ARefusedRememberedFileCostsOneMessageAndTheDefaults) {
  for (const HostileFile& file : kHostileFiles) {
    const std::string path = file.make(dir_);
    Start(path);
    ASSERT_EQ(messages_.messages.size(), 1u) << file.what;
    EXPECT_THAT(messages_.messages[0], HasSubstr("\"" + path + "\"")) << file.what;
    EXPECT_THAT(messages_.messages[0], HasSubstr(file.reason)) << file.what;
    EXPECT_EQ(title_.title, "Quorvel [test.txt]") << file.what;
    EXPECT_EQ(ConfigPath(), "noname.scc") << file.what;
    EXPECT_EQ(Remembered(), "noname.scc") << file.what << ": forgotten at once, not at exit";
  }
}

TEST_F(MainDialogFilesTest, LoadRefusesWhatIsNotAFileAndKeepsWhatWasThere) {
  Start();
  AddCommand();
  for (const HostileFile& file : kHostileFiles) {
    const std::string path = file.make(dir_);
    messages_.messages.clear();
    Load(path);
    ASSERT_EQ(messages_.messages.size(), 1u) << file.what;
    EXPECT_THAT(messages_.messages[0], HasSubstr("\"" + path + "\"")) << file.what;
    EXPECT_THAT(messages_.messages[0], HasSubstr(file.reason)) << file.what;
    EXPECT_EQ(dialog_->commands().size(), 1u) << file.what;
    EXPECT_EQ(ConfigPath(), "noname.scc") << file.what;
  }
}

TEST_F(MainDialogFilesTest, ASparse100GbFileLoadsOnlyWhatItsCountAnnounces) {
  WriteSparseScc(dir_ / "sparse.scc", 2, 2, 100ull << 30);
  Start((dir_ / "sparse.scc").string());
  EXPECT_THAT(messages_.messages, IsEmpty());
  EXPECT_EQ(dialog_->commands().size(), 2u);
  EXPECT_EQ(title_.title, "Quorvel [sparse.log]");
}

TEST_F(MainDialogFilesTest, AMissingFileIsSilentAtStartUpButNotThroughLoad) {
  const std::string missing = (dir_ / "gone.scc").string();
  Start(missing);
  EXPECT_THAT(messages_.messages, IsEmpty());
  EXPECT_EQ(ConfigPath(), "noname.scc");
  Load(missing);
  ASSERT_EQ(messages_.messages.size(), 1u);
  EXPECT_EQ(messages_.messages[0],
            "Could not load \"" + missing + "\": No such file or directory.");
}

TEST_F(MainDialogFilesTest, AFileNamedOnTheCommandLineOpensItsOwnPortOnly) {
  std::ofstream("seven.txt") << "execute settings COM7: baud=9600 parity=E data=8 stop=2\n"
                                "00 B0 00 00 02 <\n";
  Start("NULL", true);
  EXPECT_THAT(devices_.openedNames, IsEmpty());
  dialog_->OpenFile("seven.txt");
  EXPECT_THAT(devices_.openedNames, ElementsAre("COM7"));
  EXPECT_THAT(messages_.messages, IsEmpty());
}

TEST_F(MainDialogFilesTest, AFileNamedOnTheCommandLineLoadsAndIsRememberedByItsFullPath) {
  WriteSparseScc(dir_ / "list.scc", 1, 1, kSccHeaderSize + kSccRecordSize);
  Start();
  dialog_->OpenFile("list.scc");
  EXPECT_THAT(messages_.messages, IsEmpty());
  EXPECT_EQ(title_.title, "Quorvel [sparse.log]");
  EXPECT_EQ(commands_.GetCount(), 2);
  EXPECT_EQ(ConfigPath(), (dir_ / "list.scc").string());

  dialog_->OpenFile("gone.scc");
  EXPECT_THAT(messages_.messages, ElementsAre("Could not load \"" + (dir_ / "gone.scc").string() +
                                              "\": No such file or directory."));
  EXPECT_EQ(ConfigPath(), (dir_ / "list.scc").string());
  dialog_->OnDestroy();
  EXPECT_EQ(Remembered(), (dir_ / "list.scc").string());
}

TEST_F(MainDialogFilesTest, AnUnreadableFileGetsAMessageWithTheReason) {
  Start();
  const std::string path = (dir_ / "secret.scc").string();
  std::ofstream(path) << std::string(1104, '\0');
  chmod(path.c_str(), 0);
  chmod(dir_.c_str(), 0755);
  const int status = InChild([&] {
    if (!testing::BecomeOrdinaryUser()) return 2;
    files_.answers.push_back(path);
    dialog_->OnLoad();
    return messages_.messages ==
                   std::vector<std::string>{"Could not load \"" + path + "\": Permission denied."}
               ? 0
               : 1;
  });
  EXPECT_EQ(status, 0);
}

TEST_F(MainDialogFilesTest, SaveKeepsAReadOnlyFileAndSaysSo) {
  Start();
  const std::string path = (dir_ / "kept.scc").string();
  std::ofstream(path) << "old";
  chmod(path.c_str(), 0444);
  files_.answers.push_back(path);
  dialog_->OnSave();
  EXPECT_THAT(messages_.messages, ElementsAre("Could not save: the file is read-only.\n\n" + path));
  EXPECT_EQ(testing::ReadFileBytes(path), "old");
  EXPECT_EQ(ConfigPath(), "noname.scc");
}

TEST_F(MainDialogFilesTest, AFileSizeLimitMakesSaveFailInsteadOfEndingTheProgram) {
  Start();
  for (int i = 0; i < 10; ++i) AddCommand();
  const std::string path = (dir_ / "big.scc").string();
  const int status = InChild([&] {
    const rlimit limit{4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    files_.answers.push_back(path);
    dialog_->OnSave();
    return messages_.messages == std::vector<std::string>{"Could not save"} ? 0 : 1;
  });
  EXPECT_EQ(status, 0) << "-1: SIGXFSZ ended the program";
  EXPECT_THAT(folder_.Names(), IsEmpty()) << "no temporary file is left";
}

TEST_F(MainDialogFilesTest, SaveWritesThroughALinkAndKeepsIt) {
  Start();
  fs::create_symlink("real.scc", dir_ / "link.scc");
  files_.answers.push_back((dir_ / "link.scc").string());
  dialog_->OnSave();
  EXPECT_THAT(messages_.messages, IsEmpty());
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.scc"));
  EXPECT_EQ(fs::file_size(dir_ / "real.scc"), kSccHeaderSize);
}

TEST_F(MainDialogFilesTest, SaveLeavesWhatIsNotARegularFileAsItWas) {
  Start();
  ASSERT_EQ(mkfifo((dir_ / "pipe.scc").c_str(), 0600), 0);
  files_.answers.push_back((dir_ / "pipe.scc").string());
  dialog_->OnSave();
  EXPECT_THAT(messages_.messages, ElementsAre(std::string(kCouldNotSaveNotRegular) + "\n\n" +
                                              (dir_ / "pipe.scc").string()));
  EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.scc"));
  EXPECT_EQ(ConfigPath(), "noname.scc");
}

// Save writes back what only the loaded file held, as --convert does, until New.
TEST_F(MainDialogFilesTest, ALoadedListSavedAgainKeepsWhatOnlyItsFileHeld) {
  CommandScript odd;
  odd.settings.bin = 7;
  odd.settings.reservedWord = 5;
  std::memset(odd.settings.altLogFileName, 'L', kSccTextSize);  // no zero: the last byte aside
  ScriptStep& step = odd.steps.emplace_back();
  step.command = std::make_unique<CardCommand>(NewCardCommand());
  std::memset(step.command->comment, 'c', 63);
  step.sccCommentEnd = 'z';
  odd.scc.trailing = {0xAA, 0xBB};
  const std::vector<std::uint8_t> scc = EncodeScriptScc(odd);
  const auto write = [&](const char* name, std::string_view bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  };
  const auto save = [&](const char* name) {
    files_.answers.push_back((dir_ / name).string());
    dialog_->OnSave();
    return testing::ReadFileBytes(dir_ / name);
  };
  const std::string original(scc.begin(), scc.end());
  Start(write("odd.scc", original));
  EXPECT_EQ(save("again.scc"), original);
  Load(write("again.txt", save("as-text.txt")));
  EXPECT_EQ(save("back.scc"), original) << "through the window's text";

  const std::string script =
      "# head\nlog test.txt\nbin off\ninv off\n"
      "reset settings COM2: baud=9600 parity=E data=8 stop=2\n"
      "execute settings COM2: baud=9600 parity=E data=8 stop=2\n\n"
      "# select\n00 A4 04 00 02 > 3F 00 Le 00 (61 XX)\nreset\n# end\n";
  Load(write("script.txt", script));
  EXPECT_EQ(save("saved.txt"), script);
  questions_.answers = {false};
  save("lossy.scc");
  EXPECT_THAT(questions_.asked.back(),
              HasSubstr("1 expected answer, 1 Reset line and 1 Le of a case 4 command"));
  EXPECT_FALSE(fs::exists(dir_ / "lossy.scc"));

  dialog_->OnNew();
  EXPECT_EQ(save("new.txt"), WriteScriptText(CommandScript{}));
}

TEST_F(MainDialogFilesTest, AFullProfileFolderKeepsTheOldProfileWhole) {
  const std::string old = "[config]\nlist=old.scc\n[ports]\nCOM2=" + std::string(4000, 'p') + "\n";
  std::ofstream(profile_path_) << old;
  Start("NULL");  // old.scc is not there: the defaults, and nothing written
  const int status = InChild([&] {
    const rlimit limit{old.size() - 100, old.size() - 100};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    dialog_->OnDestroy();
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(testing::ReadFileBytes(profile_path_), old);
  EXPECT_THAT(folder_.Names(), ElementsAre("Quorvel.INI")) << "no temporary file is left";
}

// A command list whose log name was crafted by someone else, loaded and reset in
// the working folder dir/work, beside dir/victim.txt.
class CraftedLogNameTest : public MainDialogFilesTest {
 protected:
  void SetUp() override {
    MainDialogFilesTest::SetUp();
    fs::create_directories(dir_ / "work" / "logs");
    fs::current_path(dir_ / "work");
    std::ofstream(dir_ / "victim.txt") << "precious";
    Start();
  }

  void LoadWithLogName(const std::string& name) {
    SccSettings settings{};
    CopyText(settings.logFileName, name);
    CopyText(settings.executeSettings, "COM2: baud=9600 parity=E data=8 stop=2");
    CopyText(settings.resetSettings, "COM2: baud=9600 parity=E data=8 stop=2");
    const std::vector<std::uint8_t> bytes = EncodeScc(settings, {});
    std::ofstream(dir_ / "crafted.scc", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    files_.answers.push_back((dir_ / "crafted.scc").string());
    dialog_->OnLoad();
  }
  std::string Victim() const { return testing::ReadFileBytes(dir_ / "victim.txt"); }
};

TEST_F(CraftedLogNameTest, ANameOutsideTheWorkingFolderIsUsedOnlyAfterTheUserAgrees) {
  const std::string victim = (dir_ / "victim.txt").string();
  struct Case {
    std::string name;
    bool yes;
    std::string title;  // the log name after the answer
  };
  const Case cases[] = {
      {"../victim.txt", false, "victim.txt"},
      {victim, false, "victim.txt"},
      {"logs/../../victim.txt", false, "victim.txt"},
      {"../victim.txt", true, "../victim.txt"},
  };
  for (const Case& c : cases) {
    std::ofstream(dir_ / "victim.txt") << "precious";
    questions_.asked.clear();
    questions_.answers = {c.yes};
    LoadWithLogName(c.name);
    EXPECT_THAT(questions_.asked, IsEmpty()) << "asked at Reset, not before";
    dialog_->OnReset();
    dialog_->OnReset();  // agreed or not, the question comes once
    ASSERT_EQ(questions_.asked.size(), 1u) << c.name;
    EXPECT_THAT(questions_.asked[0], HasSubstr("\n" + victim + "\n")) << c.name;
    EXPECT_EQ(title_.title, "Quorvel [" + c.title + "]") << c.name;
    EXPECT_EQ(Victim(), c.yes ? "" : "precious") << c.name;
    EXPECT_EQ(fs::exists("victim.txt"), !c.yes) << c.name << ": No writes it here instead";
    fs::remove("victim.txt");
  }
}

TEST_F(CraftedLogNameTest, ANameInsideNeedsNoQuestionButNeverFollowsALink) {
  fs::create_symlink(dir_ / "victim.txt", "link.txt");
  fs::create_symlink(dir_, "up");
  for (const std::string name : {"logs/card.txt", "link.txt", "up/victim.txt", "up/new.txt"}) {
    LoadWithLogName(name);
    dialog_->OnReset();
  }
  EXPECT_THAT(questions_.asked, IsEmpty());
  EXPECT_TRUE(fs::exists("logs/card.txt"));
  EXPECT_EQ(Victim(), "precious");
  EXPECT_TRUE(fs::is_symlink("link.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "new.txt"));
}

TEST_F(CraftedLogNameTest, ANameChosenWithBrowseIsTheUsersOwn) {
  LoadWithLogName("../victim.txt");
  files_.answers.push_back((dir_ / "victim.txt").string());
  dialog_->OnBrowse();
  dialog_->OnReset();
  EXPECT_THAT(questions_.asked, IsEmpty());
  EXPECT_EQ(Victim(), "");
}

TEST_F(CraftedLogNameTest, AResetNeverWritesTheLogOverTheLoadedFile) {
  LoadWithLogName("../crafted.scc");
  const std::string loaded = testing::ReadFileBytes(dir_ / "crafted.scc");
  fs::create_symlink(dir_ / "crafted.scc", "link.scc");
  const auto resetRefused = [&](const char* how) {
    messages_.messages.clear();
    line_.Arrive({0x3B, 0x00}, std::chrono::milliseconds(60));  // after the reset pulse
    dialog_->OnReset();
    EXPECT_THAT(messages_.messages, ElementsAre(HasSubstr("the command list's own file"))) << how;
    EXPECT_EQ(testing::ReadFileBytes(dir_ / "crafted.scc"), loaded) << how;
    EXPECT_THAT(output_.entries, ElementsAre("Reset...", "3B 00 ")) << how << ": the Reset goes on";
  };
  files_.answers = {"logs/first.txt", "link.scc"};
  dialog_->OnBrowse();
  line_.Arrive({0x3B, 0x00}, std::chrono::milliseconds(60));
  dialog_->OnReset();
  dialog_->OnBrowse();
  resetRefused("chosen with Browse, through a link");
  EXPECT_EQ(testing::ReadFileBytes("logs/first.txt"), "3B 00 \r\n") << "the old log is closed";
  LoadWithLogName("../crafted.scc");
  questions_.answers = {true};
  resetRefused("the file's own name, agreed to");
}

}  // namespace
}  // namespace quorvel
