#include "files/path_name.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(PathName, TellsNamesThatLeaveTheWorkingFolderByTheirWording) {
  struct Case {
    const char* name;
    bool leaves;
    const char* last;
  };
  const Case cases[] = {
      {"test.txt", false, "test.txt"},
      {"logs/card.bin", false, "card.bin"},
      {"./a/../b.txt", false, "b.txt"},
      {"a/b/../../c.txt", false, "c.txt"},
      {"../x.txt", true, "x.txt"},
      {"a/../../.bashrc", true, ".bashrc"},
      {"/home/user/notes.txt", true, "notes.txt"},
      {"//x", true, "x"},
      {"..", true, "test.txt"},
      {"/", true, "test.txt"},
      {"logs/", false, "test.txt"},
      {"", false, "test.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LeavesWorkingFolder(c.name), c.leaves) << c.name;
    EXPECT_EQ(LastComponent(c.name, "test.txt"), c.last) << c.name;
  }
}

TEST(PathName, FullPathIsAbsoluteAndWithoutDots) {
  const std::string here = std::filesystem::current_path().string();
  const std::string parent = std::filesystem::current_path().parent_path().string();
  EXPECT_EQ(FullPath("/a/./b/../c.txt"), "/a/c.txt");
  EXPECT_EQ(FullPath("x.txt"), here + "/x.txt");
  EXPECT_EQ(FullPath("../x.txt"), parent + "/x.txt");
}

}  // namespace
}  // namespace quorvel
