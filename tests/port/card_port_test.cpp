#include "port/card_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <tuple>

#include "support/fake_clock.h"
#include "support/fake_serial_device.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using testing::FakeClock;
using testing::FakeDeviceFactory;
using testing::FakeLine;
using ::testing::IsEmpty;
using testing::RecordingMessageSink;

constexpr const char* kSettings = "COM2: baud=9600 parity=E data=8 stop=2";

TEST(ConvertInverseTest, GivesTheWorkedValues) {
  const std::pair<std::uint8_t, std::uint8_t> worked[] = {{0x3F, 0x03}, {0x03, 0x3F}, {0x00, 0xFF},
                                                          {0xFF, 0x00}, {0x01, 0x7F}, {0x80, 0xFE},
                                                          {0x90, 0xF6}, {0x60, 0xF9}};
  for (auto [byte, converted] : worked) {
    EXPECT_EQ(CCardPort::ConvertInverse(byte), converted) << int(byte);
  }
}

TEST(ConvertInverseTest, IsItsOwnInverseForEveryByte) {
  for (int byte = 0; byte < 256; ++byte) {
    const auto b = static_cast<std::uint8_t>(byte);
    EXPECT_EQ(CCardPort::ConvertInverse(CCardPort::ConvertInverse(b)), b) << byte;
  }
}

class CardPortTest : public ::testing::Test {
 protected:
  std::vector<std::uint8_t> ReadBytes(unsigned count, int retries) {
    std::vector<std::uint8_t> buffer(count);
    buffer.resize(port.Read(buffer.data(), count, retries));
    return buffer;
  }

  FakeClock clock;
  FakeLine line{clock};
  FakeDeviceFactory devices{line};
  RecordingMessageSink messages;
  CCardPort port{devices, clock, messages};
};

TEST_F(CardPortTest, OpensTheDeviceNamedByTheFirstFourCharacters) {
  port.Open(kSettings);
  port.Open("COM1:whatever follows");
  port.Open("CO");
  EXPECT_THAT(devices.openedNames, ElementsAre("COM2", "COM1", "CO"));
}

TEST_F(CardPortTest, OpenPreparesQueuesAndImmediateReadsButAppliesNoSettings) {
  port.Open(kSettings);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(line.queueInput, 1024u);
  EXPECT_EQ(line.queueOutput, 1024u);
  EXPECT_EQ(line.timeouts.minimumBytes, 0);
  EXPECT_EQ(line.timeouts.intervalTenths, 0);
  EXPECT_THAT(line.linesSet, IsEmpty());
  EXPECT_THAT(messages.messages, IsEmpty());
}

TEST_F(CardPortTest, ReopeningClosesTheOldDeviceFirst) {
  port.Open(kSettings);
  port.Open(kSettings);
  EXPECT_THAT(devices.devicesOpenAtOpen, ElementsAre(0, 0));
  EXPECT_EQ(line.devicesOpen, 1);
}

TEST_F(CardPortTest, ADeviceThatCannotBeOpenedIsReportedWithItsReason) {
  devices.failureReason = "/dev/ttyS1: Permission denied";
  port.Open(kSettings);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_THAT(messages.messages,
              ElementsAre("Could not create handle\n/dev/ttyS1: Permission denied"));
}

TEST_F(CardPortTest, AFailedOpenListsThePortsThereAreAndOnlyThen) {
  devices.choices = {{PortChoice::Source::kPresent, "USB0", "/dev/ttyUSB0", "FT232R USB UART"},
                     {PortChoice::Source::kDemo, "DEMO", "DEMO", ""}};
  port.Open(kSettings);
  EXPECT_EQ(devices.choicesRead, 0);
  devices.failureReason = "/dev/ttyS1: No such file or directory";
  port.Open(kSettings);
  ASSERT_EQ(messages.messages.size(), 1u);
  EXPECT_THAT(messages.messages[0],
              ::testing::StartsWith("Could not create handle\n/dev/ttyS1: No such file or "
                                    "directory\n\nSerial ports on this machine:\n"
                                    "  USB0  /dev/ttyUSB0  FT232R USB UART\n"));
  EXPECT_THAT(messages.messages[0],
              ::testing::HasSubstr("\"USB0: baud=9600 parity=E data=8 stop=2\""));
  EXPECT_EQ(devices.choicesRead, 1);
}

TEST_F(CardPortTest, EachFailingPreparationStepClosesThePort) {
  const std::pair<bool FakeLine::*, const char*> steps[] = {
      {&FakeLine::failQueueSizes, "SetupComm failed"},
      {&FakeLine::failGetTimeouts, "GetCommTimeouts failed"},
      {&FakeLine::failSetTimeouts, "SetCommTimeouts failed"}};
  for (auto [failure, message] : steps) {
    FakeLine failing(clock);
    failing.*failure = true;
    FakeDeviceFactory factory(failing);
    RecordingMessageSink shown;
    CCardPort failingPort(factory, clock, shown);
    failingPort.Open(kSettings);
    EXPECT_FALSE(failingPort.IsOpen()) << message;
    EXPECT_EQ(failing.devicesOpen, 0) << message;
    EXPECT_THAT(shown.messages, ElementsAre(message));
  }
}

TEST_F(CardPortTest, ApplySettingsSetsTheLineWithRtsHeldOff) {
  port.Open(kSettings);
  line.line.dtrControl = DtrControl::Handshake;
  port.ApplySettings("COM2: baud=10472 parity=E data=8 stop=2 rts=on");
  ASSERT_EQ(line.linesSet.size(), 1u);
  const LineSettings& set = line.linesSet[0];
  EXPECT_EQ(set.baudRate, 10472u);
  EXPECT_EQ(set.parity, Parity::Even);
  EXPECT_EQ(set.dataBits, 8);
  EXPECT_EQ(set.stopBits, StopBits::Two);
  EXPECT_EQ(set.rtsControl, RtsControl::Disable);
  EXPECT_EQ(set.dtrControl, DtrControl::Handshake);  // not named: left as it was
  EXPECT_TRUE(port.IsOpen());
}

TEST_F(CardPortTest, ApplySettingsOnAClosedPortDoesNothing) {
  port.ApplySettings(kSettings);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_THAT(messages.messages, IsEmpty());
  EXPECT_THAT(devices.openedNames, IsEmpty());
}

TEST_F(CardPortTest, EachFailingApplyStepClosesThePortUntilTheNextOpen) {
  const struct {
    bool FakeLine::*failure;
    const char* settings;
    const char* message;
  } steps[] = {{&FakeLine::failGetLine, kSettings, "GetCommState failed"},
               {nullptr, "COM2: baud=fast", "BuildCommDCB failed"},
               {&FakeLine::failSetLine, kSettings, "SetCommState failed"}};
  for (const auto& step : steps) {
    FakeLine failing(clock);
    if (step.failure) failing.*step.failure = true;
    FakeDeviceFactory factory(failing);
    RecordingMessageSink shown;
    CCardPort failingPort(factory, clock, shown);
    failingPort.Open(kSettings);
    failingPort.ApplySettings(step.settings);
    EXPECT_FALSE(failingPort.IsOpen()) << step.message;
    EXPECT_EQ(failing.devicesOpen, 0) << step.message;
    EXPECT_THAT(shown.messages, ElementsAre(step.message));

    const auto setBefore = failing.linesSet.size();
    failingPort.ApplySettings(kSettings);
    EXPECT_EQ(failing.linesSet.size(), setBefore) << step.message;
    EXPECT_EQ(shown.messages.size(), 1u) << step.message;
  }
}

// On the command line the same failures say what to do there, and a refused settings
// string is named after the window's text.
TEST(CardPortMessagesTest, TheCommandLineIsToldWhatToDoThere) {
  const struct {
    const char* name;
    std::function<void(FakeLine&, FakeDeviceFactory&, CCardPort&)> fail;
    std::string window;
    std::string commandLine;
  } cases[] = {
      {"a refused settings string",
       [](FakeLine&, FakeDeviceFactory&, CCardPort& p) {
         p.Open(kSettings);
         p.ApplySettings("COM2: baud=fast");
       },
       "BuildCommDCB failed",
       "BuildCommDCB failed\nThe settings string it refused: \"COM2: baud=fast\""},
      {"a reader gone",
       [](FakeLine& l, FakeDeviceFactory&, CCardPort& p) {
         p.Open(kSettings);
         l.goneAt = milliseconds(0);
         p.ApplySettings(kSettings);
       },
       "The card reader has gone away (/dev/fake: Input/output error).\nWhen it is back, click "
       "Reset to open it again.",
       "The card reader has gone away (/dev/fake: Input/output error).\nThe commands left fail; "
       "when it is back, run the list again."},
      {"a port that cannot be opened",
       [](FakeLine&, FakeDeviceFactory& f, CCardPort& p) {
         f.failureReason = "/dev/ttyS1: No such file or directory";
         f.choices = {{PortChoice::Source::kDemo, "DEMO", "DEMO", ""}};
         p.Open(kSettings);
       },
       "Could not create handle\n/dev/ttyS1: No such file or directory\n\nSerial ports on this "
       "machine: none found\nBuilt in:\n  DEMO  the built-in demo card\nTo use one, put its name "
       "first in the Execute settings, as in \"DEMO: baud=9600 parity=E data=8 stop=2\", and "
       "click Reset (on the command line: --port DEMO).",
       "Could not create handle\n/dev/ttyS1: No such file or directory\n\nSerial ports on this "
       "machine: none found\nBuilt in:\n  DEMO  the built-in demo card\nTo use one, name it with "
       "--port, as in --port DEMO."},
  };
  for (const auto& c : cases) {
    for (const MessageAudience audience :
         {MessageAudience::kWindow, MessageAudience::kCommandLine}) {
      FakeClock clock;
      FakeLine line(clock);
      FakeDeviceFactory factory(line);
      RecordingMessageSink shown;
      CCardPort port(factory, clock, shown);
      port.SetAudience(audience);
      c.fail(line, factory, port);
      EXPECT_THAT(shown.messages,
                  ElementsAre(audience == MessageAudience::kWindow ? c.window : c.commandLine))
          << c.name;
    }
  }
}

TEST_F(CardPortTest, PulseResetRaisesRtsFor50MsThenWaits250Ms) {
  port.Open(kSettings);
  port.PulseReset("COM2: baud=9600 parity=E data=8 stop=2");
  EXPECT_EQ(line.linesSet.size(), 1u);
  ASSERT_EQ(line.rtsChanges.size(), 2u);
  EXPECT_TRUE(line.rtsChanges[0].first);
  EXPECT_FALSE(line.rtsChanges[1].first);
  EXPECT_EQ(line.rtsChanges[1].second - line.rtsChanges[0].second, milliseconds(50));
  EXPECT_THAT(clock.waits, ElementsAre(milliseconds(50), milliseconds(250)));
  EXPECT_TRUE(port.IsOpen());  // RTS that cannot be changed is ignored
  EXPECT_THAT(messages.messages, IsEmpty());
}

TEST_F(CardPortTest, PulseResetWaits300MsEvenWithoutAPort) {
  port.PulseReset(kSettings);
  EXPECT_EQ(clock.TotalWaited(), milliseconds(300));

  port.Open(kSettings);
  port.PulseReset("COM2: parity=x");
  EXPECT_THAT(messages.messages, ElementsAre("BuildCommDCB failed"));
  EXPECT_THAT(line.rtsChanges, IsEmpty());
  EXPECT_EQ(clock.TotalWaited(), milliseconds(600));
}

TEST_F(CardPortTest, ReadWithoutRetriesMakesOneAttemptAndNeverWaits) {
  port.Open(kSettings);
  line.Arrive({0x3B, 0x00}, milliseconds(1));
  EXPECT_THAT(ReadBytes(64, 0), IsEmpty());
  EXPECT_THAT(line.readRequests, ElementsAre(64u));
  EXPECT_THAT(clock.waits, IsEmpty());
}

TEST_F(CardPortTest, ReadOfTwoBytesWithSixRetriesWhenNothingArrives) {
  port.Open(kSettings);
  EXPECT_THAT(ReadBytes(2, 6), IsEmpty());
  EXPECT_EQ(line.readRequests.size(), 7u);
  EXPECT_EQ(clock.waits, std::vector<milliseconds>(6, milliseconds(200)));
}

TEST_F(CardPortTest, ReadOfNothingReturnsAtOnce) {
  port.Open(kSettings);
  line.Arrive({0x90, 0x00});
  EXPECT_THAT(ReadBytes(0, 6), IsEmpty());
  EXPECT_THAT(clock.waits, IsEmpty());
  EXPECT_EQ(line.pending.size(), 2u);
}

TEST_F(CardPortTest, ReadGathersPartialArrivalsAndLeavesTheRestQueued) {
  port.Open(kSettings);
  line.Arrive({0x01});
  line.Arrive({0x02, 0x03}, milliseconds(300));
  line.Arrive({0x04, 0x05}, milliseconds(500));
  EXPECT_THAT(ReadBytes(4, 6), ElementsAre(0x01, 0x02, 0x03, 0x04));
  EXPECT_THAT(line.readRequests, ElementsAre(4u, 3u, 3u, 1u));
  EXPECT_EQ(clock.TotalWaited(), milliseconds(600));
  EXPECT_THAT(ReadBytes(4, 0), ElementsAre(0x05));
}

TEST_F(CardPortTest, InverseConventionConvertsBothWaysAndKeepsTheCallersBytes) {
  port.SetInverse(1);
  port.Open(kSettings);
  const std::uint8_t header[] = {0x00, 0xA4, 0x00, 0x00, 0x02};
  EXPECT_EQ(port.Write(header, 5), 5u);
  EXPECT_THAT(header, ElementsAre(0x00, 0xA4, 0x00, 0x00, 0x02));
  EXPECT_THAT(line.writes[0], ElementsAre(0xFF, 0xDA, 0xFF, 0xFF, 0xBF));
  line.Arrive({0x03, 0xF6});
  EXPECT_THAT(ReadBytes(2, 0), ElementsAre(0x3F, 0x90));

  port.SetInverse(0);
  line.Arrive({0x03});
  EXPECT_THAT(ReadBytes(1, 0), ElementsAre(0x03));
}

TEST_F(CardPortTest, InverseWriteOfMoreThan256BytesGoesOutWholeInPieces) {
  port.SetInverse(1);
  port.Open(kSettings);
  std::vector<std::uint8_t> bytes(600);
  std::iota(bytes.begin(), bytes.end(), 0);
  EXPECT_EQ(port.Write(bytes.data(), 600), 600u);
  std::vector<std::uint8_t> sent;
  for (const auto& piece : line.writes) sent.insert(sent.end(), piece.begin(), piece.end());
  ASSERT_EQ(sent.size(), 600u);
  for (std::size_t i = 0; i < sent.size(); ++i) {
    ASSERT_EQ(sent[i], CCardPort::ConvertInverse(static_cast<std::uint8_t>(i))) << i;
  }
}

TEST_F(CardPortTest, WriteReturnsWhatTheDeviceAccepted) {
  port.Open(kSettings);
  line.writeLimit = 100;
  std::vector<std::uint8_t> bytes(300);
  EXPECT_EQ(port.Write(bytes.data(), 300), 100u);
  port.SetInverse(1);
  EXPECT_EQ(port.Write(bytes.data(), 300), 100u);
  EXPECT_EQ(line.writes.size(), 2u);  // no further pieces after a short one
}

// With deadlines each wait starts where the fixed one would: after the write, or where
// the fixed read before it would have ended.
TEST_F(CardPortTest, DeadlineReadsEndWhenTheirBytesAreInOrWhereTheFixedReadWould) {
  port.SetTiming(PortTiming::kDeadline);
  port.Open(kSettings);
  line.Arrive({0x01}, milliseconds(30));
  line.Arrive({0x02, 0x03}, milliseconds(330));
  EXPECT_THAT(ReadBytes(3, 6), ElementsAre(0x01, 0x02, 0x03));
  EXPECT_EQ(clock.Now(), milliseconds(330));

  // The fixed read found its last byte at its attempt at 400 ms: the next one starts there.
  line.Arrive({0x04}, milliseconds(100));
  EXPECT_THAT(ReadBytes(2, 6), ElementsAre(0x04));
  EXPECT_EQ(clock.Now(), milliseconds(400 + 1200));
  EXPECT_THAT(clock.waits, IsEmpty());

  // A window follows on from there; converted as they come.
  port.SetInverse(1);
  line.Arrive({0x03, 0xFF, 0xFF}, milliseconds(20));
  std::uint8_t answer[64];
  EXPECT_EQ(port.ReadWithin(answer, 64, milliseconds(250)), 3u);
  EXPECT_EQ(answer[0], 0x3F);
  EXPECT_EQ(clock.Now(), milliseconds(1600 + 250));

  // A write starts anew: what is sent next waits until the fixed waits have caught up.
  clock.Advance(milliseconds(5));
  port.Write(answer, 1);
  line.Arrive({1, 2, 3, 4, 5, 6});
  EXPECT_EQ(port.ReadWithin(answer, 6, milliseconds(50)), 6u);
  EXPECT_EQ(clock.Now(), milliseconds(1855));
  port.CatchUpWithFixedWaits();
  EXPECT_EQ(clock.Now(), milliseconds(1855 + 50));

  port.Close();
  EXPECT_EQ(port.ReadWithin(answer, 64, milliseconds(250)), 0u);
  EXPECT_EQ(clock.Now(), milliseconds(1905));  // nothing comes to a closed port
}

TEST_F(CardPortTest, AClosedPortTransfersNothingButStillWaitsBetweenRetries) {
  const std::uint8_t bytes[] = {1, 2, 3};
  EXPECT_EQ(port.Write(bytes, 3), 0u);
  EXPECT_THAT(ReadBytes(3, 2), IsEmpty());
  EXPECT_EQ(clock.TotalWaited(), milliseconds(400));

  port.Open(kSettings);
  port.Close();
  port.Close();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(line.devicesOpen, 0);
}

constexpr const char* kGone =
    "The card reader has gone away (/dev/fake: Input/output error).\nWhen it is back, click "
    "Reset to open it again.";

TEST_F(CardPortTest, AReaderThatGoesAwayIsClosedAndReportedOnceWhateverNoticesIt) {
  const std::function<void(CCardPort&)> notices[] = {
      [](CCardPort& p) {
        std::uint8_t b[4];
        p.Read(b, 4, 6);
      },
      [](CCardPort& p) { p.Write(reinterpret_cast<const std::uint8_t*>("\0\xB0\0\0\4"), 5); },
      [](CCardPort& p) {
        std::uint8_t b[4];
        p.SetTiming(PortTiming::kDeadline);
        p.ReadWithin(b, 4, milliseconds(250));
      },
      [](CCardPort& p) { p.ApplySettings(kSettings); }};
  for (const auto& notice : notices) {
    FakeClock lineClock;
    FakeLine gone(lineClock);
    gone.goneAt = milliseconds(0);
    FakeDeviceFactory factory(gone);
    RecordingMessageSink shown;
    CCardPort goneReader(factory, lineClock, shown);
    goneReader.Open(kSettings);
    notice(goneReader);
    EXPECT_FALSE(goneReader.IsOpen());
    EXPECT_EQ(gone.devicesOpen, 0);
    EXPECT_THAT(lineClock.waits, IsEmpty());  // no retry waits for a reader that is gone
    notice(goneReader);
    EXPECT_THAT(shown.messages, ElementsAre(kGone));
  }
}

TEST_F(CardPortTest, TheInverseFlagOutlivesCloseAndOpen) {
  port.SetInverse(1);
  port.Open(kSettings);
  port.Close();
  port.Open(kSettings);
  line.Arrive({0x03});
  EXPECT_THAT(ReadBytes(1, 0), ElementsAre(0x3F));
}

TEST_F(CardPortTest, SetBaudRateChangesOnlyTheRateAndReadsItBack) {
  EXPECT_FALSE(port.SetBaudRate(223200));  // closed
  port.Open(kSettings);
  port.ApplySettings(kSettings);
  line.fastestRate = 115200;  // what the device's divisors reach
  ASSERT_TRUE(port.SetBaudRate(115200));
  LineSettings expected = line.linesSet[0];
  expected.baudRate = 115200;
  EXPECT_EQ(port.LineInUse(), expected);  // parity, data, stop bits and RTS as they were

  EXPECT_FALSE(port.SetBaudRate(223200));  // kept as 115200: more than 2 % off
  EXPECT_EQ(port.LineInUse(), expected);   // put back
  line.failSetLine = true;
  EXPECT_FALSE(port.SetBaudRate(9600));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_THAT(messages.messages, IsEmpty());
}

TEST(RatesAgreeTest, AllowsTwoPercentEitherWay) {
  const std::tuple<std::uint32_t, std::uint32_t, bool> cases[] = {
      {223200, 223200, true}, {227664, 223200, true},  {227665, 223200, false},
      {218736, 223200, true}, {218735, 223200, false}, {9622, 9600, true},
      {16129, 9600, false}};
  for (auto [rate, wanted, agree] : cases) EXPECT_EQ(RatesAgree(rate, wanted), agree) << rate;
}

TEST(CardPortLifetimeTest, DestroyingThePortClosesTheDevice) {
  FakeClock clock;
  FakeLine line(clock);
  FakeDeviceFactory devices(line);
  testing::RecordingMessageSink messages;
  {
    CCardPort port(devices, clock, messages);
    port.Open(kSettings);
    EXPECT_EQ(line.devicesOpen, 1);
  }
  EXPECT_EQ(line.devicesOpen, 0);
}

}  // namespace
}  // namespace quorvel
