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
#include <fstream>
#include <numeric>

#include "port/card_port.h"
#include "port/kernel_termios.h"
#include "port/open_failure.h"
#include "port/system_device_factory.h"
#include "port/termios_frame.h"
#include "support/child_process.h"
#include "support/fake_clock.h"
#include "support/recording_message_sink.h"
#include "support/temp_folder.h"

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

  // The card port over the terminal side, under the name COM2, in place of device_.
  struct CardPortOnTerminal {
    CardPortOnTerminal(const std::string& path, Clock& clock)
        : devices({{"COM2", path}}, clock), port(devices, clock, messages) {}
    testing::RecordingMessageSink messages;
    SystemDeviceFactory devices;
    CCardPort port;
  };
  std::unique_ptr<CardPortOnTerminal> PortOnTerminal(Clock& clock) {
    device_.reset();
    return std::make_unique<CardPortOnTerminal>(path_, clock);
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

  TerminalAttributes kernel;
  ASSERT_TRUE(ReadTerminal(terminal_, kernel));
  EXPECT_EQ(kernel.baudRate, 10472u);
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

// How a real driver's refusal shows: it keeps another frame than the one it was given.
TEST(TermiosFrameTest, AFrameIsKeptOnlyWhenItsDataStopAndParityBitsAre) {
  const tcflag_t even82 = CS8 | PARENB | CSTOPB;
  EXPECT_TRUE(FrameKept(even82, even82 | CRTSCTS));
  EXPECT_TRUE(FrameKept(CS8, CS8 | PARODD));  // the kind of parity means nothing without one
  for (tcflag_t kept : {CS8 | CSTOPB, CS7 | PARENB | CSTOPB, CS8 | PARENB,
                        CS8 | PARENB | CSTOPB | PARODD | CMSPAR}) {
    EXPECT_FALSE(FrameKept(even82, kept)) << std::oct << kept;
  }
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
  testing::FakeClock clock;
  const auto onTerminal = PortOnTerminal(clock);
  CCardPort& port = onTerminal->port;
  port.Open("COM2: baud=9600");
  port.PulseReset("COM2: baud=10472 parity=E data=8 stop=2");
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(onTerminal->messages.messages.empty());

  const std::uint8_t atr[] = {0x3B, 0x00};
  ASSERT_EQ(write(farEnd_, atr, 2), 2);
  pollfd ready{terminal_, POLLIN, 0};
  ASSERT_EQ(poll(&ready, 1, 1000), 1);
  std::uint8_t buffer[64];
  EXPECT_EQ(port.Read(buffer, 64, 0), 2u);
}

TEST_F(TermiosDeviceTest, TheCardPortChangesOnlyTheLinesRate) {
  testing::FakeClock clock;
  const auto onTerminal = PortOnTerminal(clock);
  CCardPort& port = onTerminal->port;
  port.Open("COM2: baud=9600 parity=E data=8 stop=2");
  port.ApplySettings("COM2: baud=9600 parity=E data=8 stop=2");
  ASSERT_TRUE(port.SetBaudRate(223200));
  TerminalAttributes kernel;
  ASSERT_TRUE(ReadTerminal(terminal_, kernel));
  EXPECT_EQ(kernel.baudRate, 223200u);
  EXPECT_NE(kernel.controlFlags & CSTOPB, 0u);  // the stop bits a pseudo-terminal keeps
  EXPECT_EQ(port.LineInUse()->stopBits, StopBits::Two);
  ASSERT_TRUE(port.SetBaudRate(9600));
  ASSERT_TRUE(ReadTerminal(terminal_, kernel));
  EXPECT_EQ(kernel.baudRate, 9600u);
  EXPECT_TRUE(onTerminal->messages.messages.empty());
}

TEST(TermiosDeviceOpenTest, NamesThePathAndTheReasonWhenItCannotOpen) {
  EXPECT_EQ(TermiosDevice::Open("/nonexistent/ttyS9").reason,
            "/nonexistent/ttyS9: No such file or directory");
}

TEST(TermiosDeviceOpenTest, WhatIsNoTerminalIsRefusedWithoutBlocking) {
  testing::TempFolder folder("notserial");
  const std::string file = folder / "file", fifo = folder / "fifo";
  std::ofstream(file) << "AT\r";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {file, folder.path().string(), fifo, std::string("/dev/null")}) {
    EXPECT_TRUE(testing::FinishesWithin(10, [&] {
      const DeviceOpenResult opened = TermiosDevice::Open(path);
      return opened.device == nullptr && opened.reason == path + ": not a serial device";
    })) << path;
  }
}

// Every string the parser takes applies: the frame bits a pseudo-terminal cannot hold
// are simply not kept there, as the kernel has it.
TEST_F(TermiosDeviceTest, EverySettingsStringAppliesOnAPseudoTerminal) {
  testing::FakeClock clock;
  const auto onTerminal = PortOnTerminal(clock);
  CCardPort& port = onTerminal->port;
  port.Open("COM2: baud=9600 parity=E data=8 stop=2");
  for (const char* settings :
       {"COM2: baud=9600 parity=E data=8 stop=2", "COM2: baud=10472 parity=E data=8 stop=2",
        "COM2: data=7 parity=o", "COM2: parity=m data=6", "COM2: parity=s stop=1",
        "COM2: data=5 stop=1.5", "COM2: baud=123456", "COM2: 96,e,7,1", "COM2: baud=2400 xon=on"}) {
    port.ApplySettings(settings);
    EXPECT_TRUE(port.IsOpen()) << settings;
  }
  EXPECT_THAT(onTerminal->messages.messages, ::testing::IsEmpty());
  TerminalAttributes kernel;
  ASSERT_TRUE(ReadTerminal(terminal_, kernel));
  EXPECT_EQ(kernel.baudRate, 2400u);
}

// A pseudo-terminal master heeds no VMIN or VTIME, and no one reads what is written to it.
TEST(TermiosDeviceOpenTest, APseudoTerminalMasterAsThePortNeverBlocks) {
  EXPECT_TRUE(testing::FinishesWithin(20, [] {
    testing::FakeClock clock;
    testing::RecordingMessageSink messages;
    SystemDeviceFactory factory({{"COM2", "/dev/ptmx"}}, clock);
    CCardPort port(factory, clock, messages);
    port.Open("COM2: baud=9600 parity=E data=8 stop=2");
    port.PulseReset("COM2: baud=9600 parity=E data=8 stop=2");
    std::uint8_t buffer[64];
    const std::uint8_t header[] = {0x00, 0xB0, 0x00, 0x00, 0x04};
    const bool quiet =
        port.Read(buffer, 64, 0) == 0 && port.Write(header, 5) == 5 && port.Read(buffer, 4, 6) == 0;
    // Far more than the kernel queues hold: what cannot go out within the bound is not sent.
    std::vector<std::uint8_t> flood(1 << 20, 0x55);
    const unsigned sent = port.Write(flood.data(), static_cast<unsigned>(flood.size()));
    return quiet && port.IsOpen() && sent < flood.size() && messages.messages.empty();
  }));
}

// With deadlines the port waits on the device itself: a hung-up one must end the wait,
// not answer every poll at once until the time is over.
TEST_F(TermiosDeviceTest, APortNoticesAReaderThatWentAwayOnceAndWaitsForItNoMore) {
  SystemClock clock;
  const auto onTerminal = PortOnTerminal(clock);
  CCardPort& port = onTerminal->port;
  port.SetTiming(PortTiming::kDeadline);
  port.Open("COM2: baud=9600 parity=E data=8 stop=2");
  close(farEnd_);
  farEnd_ = -1;
  std::uint8_t buffer[64];
  EXPECT_EQ(port.Read(buffer, 64, 6), 0u);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Write(buffer, 5), 0u);
  EXPECT_THAT(
      onTerminal->messages.messages,
      ::testing::ElementsAre("The card reader has gone away (" + path_ +
                             ": hung up).\nWhen it is back, click Reset to open it again."));
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
