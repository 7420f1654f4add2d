#include "files/same_file.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

TEST(SameFileTest, KnowsAFileByItsIdentityNotItsName) {
  testing::TempFolder temp{"same"};
  const fs::path dir = temp.path();
  std::ofstream(dir / "list.scc") << "x";
  std::ofstream(dir / "other.scc") << "x";
  fs::create_symlink("list.scc", dir / "link.scc");
  fs::create_hard_link(dir / "list.scc", dir / "hard.scc");
  fs::create_directory(dir / "sub");
  const struct {
    fs::path name;
    bool same;
  } cases[] = {
      {dir / "list.scc", true},
      {dir / "sub" / ".." / "list.scc", true},
      {dir / "link.scc", true},
      {dir / "hard.scc", true},
      {dir / "other.scc", false},
      {dir / "missing.scc", false},
      {fs::relative(dir / "list.scc"), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSameFile(c.name.string(), (dir / "list.scc").string()), c.same) << c.name;
  }
}

}  // namespace
}  // namespace quorvel
