#include "files/input_file.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;

class InputFileTest : public ::testing::Test {
 protected:
  testing::TempFolder folder_{"input"};
  const fs::path& dir_ = folder_.path();
};

TEST_F(InputFileTest, ReadsARegularFileInPiecesUpToItsEnd) {
  std::ofstream(dir_ / "a.scc", std::ios::binary) << "0123456789";
  InputFile file((dir_ / "a.scc").string());
  ASSERT_EQ(file.status(), InputFile::Status::kOpen);
  EXPECT_EQ(file.size(), 10u);
  char bytes[8] = {};
  EXPECT_EQ(file.ReadAt(2, reinterpret_cast<std::uint8_t*>(bytes), 3), 3);
  EXPECT_EQ(std::string(bytes, 3), "234");
  EXPECT_EQ(file.ReadAt(7, reinterpret_cast<std::uint8_t*>(bytes), 8), 3);
  EXPECT_EQ(file.ReadAt(10, reinterpret_cast<std::uint8_t*>(bytes), 8), 0);
}

TEST_F(InputFileTest, RefusesAnythingButARegularFileWithoutBlocking) {
  mkfifo((dir_ / "fifo").c_str(), 0600);
  const int server = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (dir_ / "socket").string();
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  fs::create_symlink(dir_ / "fifo", dir_ / "link-to-fifo");
  struct Case {
    std::string path;
    InputFile::Status status;
    const char* reason;
  };
  const Case cases[] = {
      {(dir_ / "fifo").string(), InputFile::Status::kRefused, "it is a named pipe, not a file"},
      {(dir_ / "link-to-fifo").string(), InputFile::Status::kRefused,
       "it is a named pipe, not a file"},
      {"/dev/zero", InputFile::Status::kRefused, "it is a device, not a file"},
      {socketPath, InputFile::Status::kRefused, "it is a socket, not a file"},
      {dir_.string(), InputFile::Status::kRefused, "it is a folder, not a file"},
      {(dir_ / "missing").string(), InputFile::Status::kMissing, "No such file or directory"},
      {(dir_ / "fifo" / "x").string(), InputFile::Status::kRefused, "Not a directory"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(testing::FinishesWithin(10, [&] { InputFile file(c.path); })) << c.path;
    InputFile file(c.path);
    EXPECT_EQ(file.status(), c.status) << c.path;
    EXPECT_EQ(file.reason(), c.reason) << c.path;
  }
  close(server);
}

TEST_F(InputFileTest, AFileWithoutReadPermissionIsRefusedWithTheReason) {
  std::ofstream(dir_ / "secret.scc") << "x";
  chmod((dir_ / "secret.scc").c_str(), 0);
  chmod(dir_.c_str(), 0755);
  const int status = testing::InChild([&] {
    if (!testing::BecomeOrdinaryUser()) return 2;
    InputFile file((dir_ / "secret.scc").string());
    return file.status() == InputFile::Status::kRefused && file.reason() == "Permission denied" ? 0
                                                                                                : 1;
  });
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace quorvel
