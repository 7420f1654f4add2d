#include "files/file_replace.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::InChild;
using ::testing::UnorderedElementsAre;

class FileReplaceTest : public ::testing::Test {
 protected:
  static std::string Bytes(std::size_t count, char value) { return std::string(count, value); }

  static ReplaceResult Write(const fs::path& path, const std::string& bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return WriteFileReplacing(path, std::span(data, bytes.size()));
  }

  static std::string Read(const fs::path& path) { return testing::ReadFileBytes(path); }

  std::vector<std::string> Names() const { return folder_.Names(); }

  testing::TempFolder folder_{"replace"};
  const fs::path& dir_ = folder_.path();
};

TEST_F(FileReplaceTest, ReplacesTheFileKeepsItsPermissionsAndLeavesNothingElse) {
  const fs::path target = dir_ / "config.scc";
  ASSERT_EQ(Write(target, Bytes(2964, 1)), ReplaceResult::kReplaced);
  chmod(target.c_str(), 0640);
  ASSERT_EQ(Write(target, Bytes(1104, 2)), ReplaceResult::kReplaced);
  EXPECT_EQ(Read(target), Bytes(1104, 2));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_THAT(Names(), ElementsAre("config.scc"));
}

TEST_F(FileReplaceTest, WritesTheFileALinkNamesAndKeepsTheLink) {
  // Links to a file that is there and to one that is not, by absolute and by
  // relative names, and a link to a link.
  fs::create_directories(dir_ / "real");
  fs::create_symlink(dir_ / "real" / "there.scc", dir_ / "to-there.scc");
  fs::create_symlink("real/new.scc", dir_ / "dangling.scc");
  fs::create_symlink("to-there.scc", dir_ / "twice.scc");
  ASSERT_EQ(Write(dir_ / "real" / "there.scc", Bytes(10, 1)), ReplaceResult::kReplaced);
  struct Case {
    const char* link;
    const char* file;
  };
  for (const Case c : {Case{"to-there.scc", "real/there.scc"}, Case{"dangling.scc", "real/new.scc"},
                       Case{"twice.scc", "real/there.scc"}}) {
    const std::string bytes = Bytes(20, c.link[0]);
    ASSERT_EQ(Write(dir_ / c.link, bytes), ReplaceResult::kReplaced) << c.link;
    EXPECT_TRUE(fs::is_symlink(dir_ / c.link)) << c.link;
    EXPECT_EQ(Read(dir_ / c.file), bytes) << c.link;
  }
  EXPECT_THAT(Names(), UnorderedElementsAre("real", "to-there.scc", "dangling.scc", "twice.scc"));

  fs::create_symlink("loop-b", dir_ / "loop-a");
  fs::create_symlink("loop-a", dir_ / "loop-b");
  EXPECT_EQ(Write(dir_ / "loop-a", Bytes(1, 'x')), ReplaceResult::kFailed);
}

TEST_F(FileReplaceTest, ReplacesNothingButARegularFile) {
  // As root a device node or a pipe replaced by a file would break whatever uses it.
  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  fs::create_symlink("pipe", dir_ / "to-pipe");
  fs::create_directory(dir_ / "folder");
  for (const fs::path& target :
       {dir_ / "pipe", dir_ / "to-pipe", dir_ / "folder", fs::path("/dev/null")}) {
    EXPECT_EQ(Write(target, Bytes(10, 1)), ReplaceResult::kNotRegular) << target;
  }
  EXPECT_TRUE(fs::is_fifo(dir_ / "pipe"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "to-pipe"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_THAT(Names(), UnorderedElementsAre("pipe", "to-pipe", "folder"));
}

TEST_F(FileReplaceTest, KeepsAReadOnlyFileEvenForRoot) {
  const fs::path target = dir_ / "config.scc";
  ASSERT_EQ(Write(target, Bytes(30, 7)), ReplaceResult::kReplaced);
  chmod(target.c_str(), 0444);
  EXPECT_EQ(Write(target, Bytes(10, 8)), ReplaceResult::kReadOnly);
  EXPECT_EQ(Read(target), Bytes(30, 7));
  EXPECT_THAT(Names(), ElementsAre("config.scc"));
}

TEST_F(FileReplaceTest, FailsInAMissingOrReadOnlyFolderAndKeepsTheOldFile) {
  EXPECT_EQ(Write(dir_ / "no" / "such.scc", Bytes(10, 1)), ReplaceResult::kFailed);
  const fs::path target = dir_ / "config.scc";
  ASSERT_EQ(Write(target, Bytes(2964, 7)), ReplaceResult::kReplaced);
  chmod(target.c_str(), 0666);  // only the folder stands in the way
  chmod(dir_.c_str(), 0555);
  const int status = InChild([&] {
    if (!testing::BecomeOrdinaryUser()) return 2;
    return Write(target, Bytes(1104, 8)) == ReplaceResult::kFailed ? 0 : 1;
  });
  chmod(dir_.c_str(), 0700);
  EXPECT_EQ(status, 0) << "the write must be reported as failed";
  EXPECT_EQ(Read(target), Bytes(2964, 7));
  EXPECT_THAT(Names(), ElementsAre("config.scc"));
}

TEST_F(FileReplaceTest, AFileSizeLimitFailsTheWriteKeepsTheOldFileAndRemovesTheTemporary) {
  // The limit stands in for a full disk. Without the signal ignored, SIGXFSZ ends
  // the process and leaves the temporary file behind.
  const fs::path target = dir_ / "config.scc";
  ASSERT_EQ(Write(target, Bytes(2964, 7)), ReplaceResult::kReplaced);
  const int status = InChild([&] {
    IgnoreFileSizeSignal();
    const rlimit limit{4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    return Write(target, Bytes(1104 + 620 * 100, 8)) == ReplaceResult::kFailed ? 0 : 1;
  });
  EXPECT_EQ(status, 0) << "the write must be reported as failed";
  EXPECT_EQ(Read(target), Bytes(2964, 7));
  EXPECT_THAT(Names(), ElementsAre("config.scc"));
}

}  // namespace
}  // namespace quorvel
