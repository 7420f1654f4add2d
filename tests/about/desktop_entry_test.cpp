#include "about/desktop_entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "about/xdg_web_page_command.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Optional;

TEST(DesktopEntryExecTest, ReadsExecOfTheEntryGroupOnly) {
  const char* text =
      "# a comment\n"
      "[Desktop Action new-window]\n"
      "Exec=browser --new-window %u\n"
      "[Desktop Entry]\n"
      "Name=Browser\n"
      "Exec[de]=nicht\n"
      "TryExec=browser\n"
      "Exec = browser\\s--flag \\\\x %u\r\n"
      "[Other]\n"
      "Exec=other\n";
  EXPECT_THAT(DesktopEntryExec(text), Optional(std::string("browser --flag \\x %u")));
}

TEST(DesktopEntryExecTest, KeepsEscapesMeantForTheExecQuoting) {
  EXPECT_THAT(DesktopEntryExec("[Desktop Entry]\nExec=sh \"a\\$b\"\n"),
              Optional(std::string("sh \"a\\$b\"")));
}

TEST(DesktopEntryExecTest, NoneWithoutExec) {
  EXPECT_EQ(DesktopEntryExec("[Desktop Entry]\nName=x\n[Desktop Action a]\nExec=y\n"),
            std::nullopt);
  EXPECT_EQ(DesktopEntryExec(""), std::nullopt);
}

TEST(XdgDataDirsTest, UserFolderFirstThenSystemFolders) {
  EXPECT_THAT(XdgDataDirs("/d/home", "/a::/b:", "/home/u"), ElementsAre("/d/home", "/a", "/b"));
  EXPECT_THAT(XdgDataDirs(nullptr, nullptr, "/home/u"),
              ElementsAre("/home/u/.local/share", "/usr/local/share", "/usr/share"));
  EXPECT_THAT(XdgDataDirs("", "", nullptr), ElementsAre("/usr/local/share", "/usr/share"));
}

class DesktopFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quorvel-desktop-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Dir(const std::string& name) { return (root_ / name).string(); }
  void Write(const std::string& dir, const std::string& id, const std::string& text) {
    fs::create_directories(fs::path(dir) / "applications");
    std::ofstream(fs::path(dir) / "applications" / id) << text;
  }

  fs::path root_;
};

TEST_F(DesktopFilesTest, FirstFolderHoldingTheEntryWins) {
  Write(Dir("second"), "web.desktop", "[Desktop Entry]\nExec=second %u\n");
  Write(Dir("third"), "web.desktop", "[Desktop Entry]\nExec=third %u\n");
  const std::vector<std::string> dirs = {Dir("first"), Dir("second"), Dir("third")};
  EXPECT_THAT(FindDesktopEntryExec("web.desktop", dirs), Optional(std::string("second %u")));
  EXPECT_EQ(FindDesktopEntryExec("missing.desktop", dirs), std::nullopt);
}

TEST_F(DesktopFilesTest, IdsThatAreNotPlainFileNamesAreNotLookedUp) {
  Write(Dir("a"), "web.desktop", "[Desktop Entry]\nExec=a\n");
  fs::create_directories(fs::path(Dir("b")) / "applications" / "dir.desktop");
  const std::vector<std::string> dirs = {Dir("b"), Dir("a")};
  EXPECT_EQ(FindDesktopEntryExec("../applications/web.desktop", dirs), std::nullopt);
  EXPECT_EQ(FindDesktopEntryExec("", dirs), std::nullopt);
  EXPECT_EQ(FindDesktopEntryExec("dir.desktop", dirs), std::nullopt);
}

TEST_F(DesktopFilesTest, WebPageCommandFollowsTheDefaultHandler) {
  Write(Dir("a"), "web.desktop", "[Desktop Entry]\nExec=browser %u\n");
  XdgWebPageCommand found([] { return std::optional<std::string>("web.desktop"); }, {Dir("a")});
  EXPECT_THAT(found.Find(), Optional(std::string("browser %u")));
  XdgWebPageCommand none([] { return std::optional<std::string>(); }, {Dir("a")});
  EXPECT_EQ(none.Find(), std::nullopt);
}

}  // namespace
}  // namespace quorvel
