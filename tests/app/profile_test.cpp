#include "app/profile.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& text) {
    const auto path = (folder_ / "Quorvel.INI").string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  static std::string Read(const std::string& path) { return testing::ReadFileBytes(path); }

  testing::TempFolder folder_{"profile"};
  const fs::path& dir_ = folder_.path();
};

TEST_F(ProfileTest, MissingFileGivesTheFallbackAndSaveCreatesTheFolder) {
  const auto path = (dir_ / "sub" / "Quorvel.INI").string();
  Profile profile = Profile::Load(path);
  EXPECT_EQ(profile.GetString("config", "list", "NULL"), "NULL");
  profile.SetString("config", "list", "noname.scc");
  ASSERT_TRUE(profile.Save());
  EXPECT_EQ(Read(path), "[config]\nlist=noname.scc\n");
}

TEST_F(ProfileTest, AwkwardPathsComeBackExactly) {
  const std::string paths[] = {
      "/home/user/my cards/a,b;c.scc",    // blanks, comma, semicolon
      "/tmp/\"quoted\".scc",              // quotes inside
      "\"starts and ends with quotes\"",  // quotes at both ends
      " leading and trailing blanks ",
      "/home/jörg/Karten/Prüfung ß.scc",  // non-ASCII letters
      "a=b=c",
      "",
  };
  for (const std::string& value : paths) {
    const auto path = (dir_ / "Quorvel.INI").string();
    Profile profile = Profile::Load(path);
    profile.SetString("config", "list", value);
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(Profile::Load(path).GetString("config", "list", "NULL"), value) << value;
  }
}

TEST_F(ProfileTest, KeepsOtherSectionsAndCommentsWhenSaving) {
  const auto path = Write(
      "; my reader\r\n[ports]\r\nCOM2 = /dev/serial/by-id/usb-reader\r\nCOM3=DEMO\r\n\r\n"
      "[config]\r\nlist=old.scc\r\n");
  Profile profile = Profile::Load(path);
  EXPECT_EQ(profile.GetString("CONFIG", "LIST", "NULL"), "old.scc");
  const auto ports = profile.Section("ports");
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports.at("COM2"), "/dev/serial/by-id/usb-reader");
  EXPECT_EQ(ports.at("COM3"), "DEMO");

  profile.SetString("config", "list", "new.scc");
  ASSERT_TRUE(profile.Save());
  EXPECT_EQ(Read(path),
            "; my reader\n[ports]\nCOM2 = /dev/serial/by-id/usb-reader\nCOM3=DEMO\n\n"
            "[config]\nlist=new.scc\n");
}

TEST_F(ProfileTest, NewKeyJoinsItsExistingSection) {
  const auto path = Write("[config]\nother=1\n\n[ports]\nCOM1=DEMO\n");
  Profile profile = Profile::Load(path);
  profile.SetString("config", "list", "x.scc");
  ASSERT_TRUE(profile.Save());
  EXPECT_EQ(Read(path), "[config]\nother=1\nlist=x.scc\n\n[ports]\nCOM1=DEMO\n");
}

TEST_F(ProfileTest, AProfileThatCannotBeReadIsNeitherWaitedForNorOverwritten) {
  mkfifo((dir_ / "pipe.INI").c_str(), 0600);
  std::ofstream(dir_ / "huge.INI") << "[config]\nlist=a.scc\n"
                                   << std::string(Profile::kMaxFileSize, ';');
  for (const fs::path& path : {dir_ / "pipe.INI", dir_ / "huge.INI", dir_}) {
    ASSERT_TRUE(testing::FinishesWithin(10, [&] { Profile::Load(path); })) << path;
    Profile profile = Profile::Load(path);
    EXPECT_EQ(profile.GetString("config", "list", "NULL"), "NULL") << path;
    profile.SetString("config", "list", "b.scc");
    EXPECT_FALSE(profile.Save()) << path;
  }
  EXPECT_EQ(fs::file_size(dir_ / "huge.INI"), Profile::kMaxFileSize + 20);
  EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.INI"));
}

TEST_F(ProfileTest, DefaultPathFollowsXdgConfigHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
  EXPECT_EQ(Profile::DefaultPath(), "/somewhere/config/Quorvel.INI");
  // A relative value is not a valid base folder: the home folder's .config is used.
  setenv("XDG_CONFIG_HOME", "relative", 1);
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(Profile::DefaultPath(), "/home/someone/.config/Quorvel.INI");
  if (old) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace quorvel
