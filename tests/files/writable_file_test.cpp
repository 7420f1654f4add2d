#include "files/writable_file.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

TEST(WritableFileTest, RefusesWhatCannotTakeAFileWrittenAnewAndTouchesNothing) {
  testing::TempFolder temp{"writable"};
  const fs::path dir = temp.path();
  std::ofstream(dir / "log.txt") << "kept";
  std::ofstream(dir / "read-only.txt") << "kept";
  fs::permissions(dir / "read-only.txt", fs::perms::owner_read | fs::perms::group_read);
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  fs::create_directory(dir / "folder");
  fs::create_symlink("log.txt", dir / "link");
  fs::create_symlink("missing.txt", dir / "dangling");

  const struct {
    std::string name;
    LinksAtName links;
    std::string reason;
  } cases[] = {
      {"log.txt", LinksAtName::kFollow, ""},
      {"new.txt", LinksAtName::kFollow, ""},
      {"link", LinksAtName::kFollow, ""},
      {"dangling", LinksAtName::kFollow, ""},  // its open makes the file it names
      {"link", LinksAtName::kRefuse, "it is a symbolic link, not a file"},
      {"dangling", LinksAtName::kRefuse, "it is a symbolic link, not a file"},
      {"folder", LinksAtName::kFollow, "it is a folder, not a file"},
      {"pipe", LinksAtName::kFollow, "it is a named pipe, not a file"},
      {"/dev/null", LinksAtName::kFollow, "it is a device, not a file"},
      {"read-only.txt", LinksAtName::kFollow, "it is read-only"},
      {"no-folder/x.log", LinksAtName::kFollow, "No such file or directory"},
      {"log.txt/x.log", LinksAtName::kFollow, "Not a directory"},
  };
  for (const auto& c : cases) {
    const fs::path path = c.name.front() == '/' ? fs::path(c.name) : dir / c.name;
    EXPECT_EQ(WhyNotWritable(path.string(), c.links), c.reason) << c.name;
  }
  EXPECT_EQ(testing::ReadFileBytes(dir / "log.txt"), "kept");
  EXPECT_FALSE(fs::exists(dir / "new.txt"));
  EXPECT_FALSE(fs::exists(dir / "missing.txt"));
}

}  // namespace
}  // namespace quorvel
