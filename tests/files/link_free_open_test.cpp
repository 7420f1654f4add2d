#include "files/link_free_open.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

TEST(LinkFreeOpen, CreatesOrCutsPlainFilesAndRefusesLinksPipesAndDevices) {
  testing::TempFolder folder{"nolinks"};
  const fs::path& dir = folder.path();
  fs::create_directories(dir / "sub");
  std::ofstream(dir / "victim.txt") << "precious";
  std::ofstream(dir / "old.txt") << "old log";
  fs::create_symlink(dir / "victim.txt", dir / "link.txt");
  fs::create_symlink(dir / "nothing.txt", dir / "dangling.txt");
  fs::create_symlink(dir, dir / "sub" / "up");
  mkfifo((dir / "pipe").c_str(), 0600);
  struct Case {
    std::string path;
    bool opens;
  };
  const Case cases[] = {
      {(dir / "new.txt").string(), true},
      {(dir / "old.txt").string(), true},
      {(dir / "sub" / ".." / "up.txt").string(), true},
      {(dir / "link.txt").string(), false},
      {(dir / "dangling.txt").string(), false},
      {(dir / "sub" / "up" / "victim.txt").string(), false},
      {(dir / "sub" / "up" / "fresh.txt").string(), false},
      {(dir / "pipe").string(), false},
      {"/dev/null", false},
      {dir.string(), false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(testing::FinishesWithin(10, [&] { close(OpenForWritingWithoutLinks(c.path)); }))
        << c.path;
    const int fd = OpenForWritingWithoutLinks(c.path);
    EXPECT_EQ(fd >= 0, c.opens) << c.path;
    if (fd >= 0) {
      EXPECT_EQ(write(fd, "log", 3), 3);
      close(fd);
      EXPECT_EQ(testing::ReadFileBytes(c.path), "log") << c.path;
    }
  }
  EXPECT_EQ(testing::ReadFileBytes(dir / "victim.txt"), "precious");
  EXPECT_FALSE(fs::exists(dir / "nothing.txt"));
  EXPECT_FALSE(fs::exists(dir / "fresh.txt"));
  EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
}

}  // namespace
}  // namespace quorvel
