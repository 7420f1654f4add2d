#include "port/termios_device.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <numeric>

#include "port/card_port.h"
#include "port/open_failure.h"
#include "port/system_device_factory.h"
#include "port/termios2_baud.h"
#include "port/termios_frame.h"
#include "support/fake_clock.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

using ::testing::HasSubstr;

// A pseudo-terminal pair: the device under test opens the terminal side by its path,
// the test plays the far end of the line on the other side.
class TermiosDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(openpty(&farEnd_, &terminal_, nullptr, nullptr, nullptr), 0);
    path_ = ttyname(terminal_);
    DeviceOpenResult opened = TermiosDevice::Open(path_);
    ASSERT_NE(opened.device, nullptr) << opened.reason;
    device_ = std::move(opened.device);
    ASSERT_TRUE(device_->SetReadTimeouts({0, 0}));
  }
  void TearDown() override {
    device_.reset();
    close(terminal_);
    close(farEnd_);
  }

  // Reads from an fd until count bytes came or nothing more comes for a second.
  static std::vector<std::uint8_t> Drain(int fd, std::size_t count) {
    std::vector<std::uint8_t> got;
    pollfd ready{fd, POLLIN, 0};
    while (got.size() < count && poll(&ready, 1, 1000) == 1) {
      std::uint8_t chunk[512];
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n <= 0) break;
      got.insert(got.end(), chunk, chunk + n);
    }
    return got;
  }

  std::vector<std::uint8_t> DeviceReads(std::size_t count) {
    std::vector<std::uint8_t> got;
    pollfd ready{terminal_, POLLIN, 0};
    while (got.size() < count && poll(&ready, 1, 1000) == 1) {
      std::uint8_t chunk[512];
      const std::size_t n = device_->Read(chunk, sizeof chunk);
      got.insert(got.end(), chunk, chunk + n);
    }
    return got;
  }

  int farEnd_ = -1;
  int terminal_ = -1;
  std::string path_;
  std::unique_ptr<SerialDevice> device_;
};

TEST_F(TermiosDeviceTest, EveryByteValuePassesUnchangedBothWays) {
  std::vector<std::uint8_t> all(256);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(device_->Write(all.data(), all.size()), 256u);
  EXPECT_EQ(Drain(farEnd_, 256), all);

  ASSERT_EQ(write(farEnd_, all.data(), all.size()), 256);
  EXPECT_EQ(DeviceReads(256), all);
}

TEST_F(TermiosDeviceTest, AReadReturnsAtOnceWithWhatHasArrived) {
  std::uint8_t buffer[16];
  EXPECT_EQ(device_->Read(buffer, sizeof buffer), 0u);  // would block if reads waited
  const std::uint8_t sent[] = {0x3B, 0x0A, 0x0D};
  ASSERT_EQ(write(farEnd_, sent, 3), 3);
  pollfd ready{terminal_, POLLIN, 0};
  ASSERT_EQ(poll(&ready, 1, 1000), 1);
  EXPECT_EQ(device_->Read(buffer, sizeof buffer), 3u);
  EXPECT_EQ(device_->Read(buffer, sizeof buffer), 0u);
}

TEST_F(TermiosDeviceTest, ANonStandardRateIsSetThroughTermios2) {
  LineSettings settings;
  ASSERT_TRUE(device_->GetLineSettings(settings));
  settings.baudRate = 10472;
  settings.stopBits = StopBits::Two;
  settings.rtsControl = RtsControl::Disable;  // RTS cannot be changed on a pty: ignored
  ASSERT_TRUE(device_->SetLineSettings(settings));
  ASSERT_TRUE(device_->SetReadTimeouts({0, 0}));  // later attribute changes keep the rate

  std::uint32_t rate = 0;
  ASSERT_TRUE(GetBaudRate(terminal_, rate));
  EXPECT_EQ(rate, 10472u);
  LineSettings readBack;
  ASSERT_TRUE(device_->GetLineSettings(readBack));
  EXPECT_EQ(readBack.baudRate, 10472u);
  EXPECT_EQ(readBack.stopBits, StopBits::Two);
}

// A pseudo-terminal keeps 8 data bits without parity whatever is set (the frame bits
// are checked apart from the device, below); rates, stop bits and flow control stay.
TEST_F(TermiosDeviceTest, RatesStopBitsAndFlowControlReadBackAsSet) {
  const LineSettings lines[] = {
      {.baudRate = 2400, .stopBits = StopBits::One, .rtsControl = RtsControl::Disable},
      {.baudRate = 115200, .stopBits = StopBits::Two, .outXonXoff = true, .outCtsFlow = true},
      {.baudRate = 300, .inXonXoff = true, .rtsControl = RtsControl::Handshake}};
  for (const LineSettings& line : lines) {
    ASSERT_TRUE(device_->SetLineSettings(line)) << line.baudRate;
    LineSettings readBack;
    ASSERT_TRUE(device_->GetLineSettings(readBack));
    EXPECT_EQ(readBack, line) << line.baudRate;
  }
  LineSettings invalid;
  invalid.dataBits = 5;
  invalid.stopBits = StopBits::Two;
  EXPECT_FALSE(device_->SetLineSettings(invalid));
}

TEST(TermiosFrameTest, EveryValidFrameReadsBackFromItsFlags) {
  for (std::uint8_t dataBits = 5; dataBits <= 8; ++dataBits) {
    for (Parity parity : {Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space}) {
      for (StopBits stop : {StopBits::One, StopBits::OnePointFive, StopBits::Two}) {
        const LineSettings frame{.parity = parity, .dataBits = dataBits, .stopBits = stop};
        if (!IsValidFrame(frame)) continue;
        LineSettings readBack;
        ReadFrameFlags(FrameFlags(frame), readBack);
        EXPECT_EQ(readBack, frame) << int(dataBits) << " " << int(parity) << " " << int(stop);
      }
    }
  }
}

TEST(TermiosFrameTest, SetsTheKernelsBits) {
  EXPECT_EQ(FrameFlags({.parity = Parity::Even, .dataBits = 8, .stopBits = StopBits::Two}),
            CS8 | PARENB | CSTOPB);
  EXPECT_EQ(FrameFlags({.parity = Parity::Mark, .dataBits = 7}), CS7 | PARENB | PARODD | CMSPAR);
  EXPECT_EQ(
      FrameFlags({.parity = Parity::Space, .dataBits = 5, .stopBits = StopBits::OnePointFive}),
      CS5 | PARENB | CMSPAR | CSTOPB);
  EXPECT_EQ(FrameFlags({.rtsControl = RtsControl::Handshake}), CS8 | CRTSCTS);
  LineSettings handshake{.outCtsFlow = true, .rtsControl = RtsControl::Handshake};
  ReadFrameFlags(CS8, handshake);
  EXPECT_FALSE(handshake.outCtsFlow);
}

TEST_F(TermiosDeviceTest, RtsThatCannotChangeIsReportedNotFatal) {
  EXPECT_FALSE(device_->SetRts(true));
  EXPECT_FALSE(device_->SetRts(false));
  const std::uint8_t byte = 0x42;
  EXPECT_EQ(device_->Write(&byte, 1), 1u);
}

TEST_F(TermiosDeviceTest, ASecondOpenOfTheSameDeviceIsRefused) {
  const DeviceOpenResult second = TermiosDevice::Open(path_);
  EXPECT_EQ(second.device, nullptr);
  EXPECT_EQ(second.reason, path_ + ": Device or resource busy");
  device_.reset();
  EXPECT_NE(TermiosDevice::Open(path_).device, nullptr);
}

TEST_F(TermiosDeviceTest, TheCardPortRunsAResetOnAPseudoTerminal) {
  device_.reset();
  testing::FakeClock clock;
  testing::RecordingMessageSink messages;
  SystemDeviceFactory factory({{"PTY0", path_}}, clock);
  CCardPort port(factory, clock, messages);
  port.Open("PTY0: baud=9600");
  port.PulseReset("PTY0: baud=10472 parity=E data=8 stop=2");
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(messages.messages.empty());

  const std::uint8_t atr[] = {0x3B, 0x00};
  ASSERT_EQ(write(farEnd_, atr, 2), 2);
  pollfd ready{terminal_, POLLIN, 0};
  ASSERT_EQ(poll(&ready, 1, 1000), 1);
  std::uint8_t buffer[64];
  EXPECT_EQ(port.Read(buffer, 64, 0), 2u);
}

TEST(TermiosDeviceOpenTest, NamesThePathAndTheReasonWhenItCannotOpen) {
  EXPECT_EQ(TermiosDevice::Open("/nonexistent/ttyS9").reason,
            "/nonexistent/ttyS9: No such file or directory");
  const DeviceOpenResult notTerminal = TermiosDevice::Open("/dev/null");
  EXPECT_EQ(notTerminal.device, nullptr);
  EXPECT_THAT(notTerminal.reason, HasSubstr("/dev/null: "));
}

TEST(OpenFailureTest, APermissionErrorNamesTheGroupThatOwnsTheDevice) {
  char path[] = "/tmp/quorvel-ttyXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  struct stat info {};
  ASSERT_EQ(stat(path, &info), 0);
  const group* owner = getgrgid(info.st_gid);
  ASSERT_NE(owner, nullptr);
  const std::string reason = DescribeOpenFailure(path, EACCES);
  EXPECT_THAT(reason, HasSubstr(std::string(path) + ": Permission denied"));
  EXPECT_THAT(reason, HasSubstr(std::string("group ") + owner->gr_name));
  EXPECT_EQ(DescribeOpenFailure(path, EBUSY), std::string(path) + ": Device or resource busy");
  unlink(path);
}

}  // namespace
}  // namespace quorvel
