#include "card/log_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

class LogFileTest : public ::testing::Test {
 protected:
  std::string Content() const { return testing::ReadFileBytes(path); }

  void Raw(const std::string& bytes) {
    log.WriteRaw(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }

  testing::TempFolder temp{"log_file"};
  const fs::path& folder = temp.path();
  fs::path path = folder / "log.bin";
  LogFile log;
};

TEST_F(LogFileTest, TextModeStoresEveryLineFeedAsCarriageReturnAndLineFeed) {
  ASSERT_TRUE(log.Open(path, false));
  Raw(std::string("\n\nA\rB\n\x00\n", 8));
  log.WriteLine("90 00");
  log.Close();
  EXPECT_EQ(Content(), std::string("\r\n\r\nA\rB\r\n\x00\r\n90 00\r\n", 19));
}

TEST_F(LogFileTest, BinaryModeStoresBytesUnchanged) {
  ASSERT_TRUE(log.Open(path, true));
  Raw(std::string("\n\r\n\x00\xFF", 5));
  log.WriteLine("3B ");
  log.Close();
  EXPECT_EQ(Content(), std::string("\n\r\n\x00\xFF"
                                   "3B \n",
                                   9));
}

TEST_F(LogFileTest, OpenCreatesAnewAndReportsFailure) {
  {
    std::ofstream old(path);
    old << "old content";
  }
  ASSERT_TRUE(log.Open(path, true));
  EXPECT_TRUE(log.IsOpen());
  log.Flush();
  EXPECT_EQ(Content(), "");

  EXPECT_FALSE(log.Open(folder / "missing" / "log.txt", true));
  EXPECT_FALSE(log.IsOpen());
  Raw("ignored");
  log.WriteLine("ignored");
  log.Flush();
  EXPECT_EQ(Content(), "");
}

TEST_F(LogFileTest, KeepsTheFirstWriteErrorUntilTheNextOpen) {
  ASSERT_TRUE(log.Open("/dev/full", false));
  log.WriteLine("3B 00 ");
  EXPECT_EQ(log.writeError(), 0);  // still in the buffer
  log.Flush();
  EXPECT_EQ(log.writeError(), ENOSPC);
  ASSERT_TRUE(log.Open(path, false));
  log.WriteLine("3B 00 ");
  log.Flush();
  EXPECT_EQ(log.writeError(), 0);
  EXPECT_EQ(Content(), "3B 00 \r\n");
}

}  // namespace
}  // namespace quorvel
