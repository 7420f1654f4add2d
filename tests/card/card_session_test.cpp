#include "card/card_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_clock.h"
#include "support/fake_controls.h"
#include "support/fake_serial_device.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;

struct ResetOutcome {
  std::vector<std::string> rows;
  std::chrono::nanoseconds took;
};

// A reset whose card sends `atr` in two pieces, 60 and 70 ms after the reset began.
ResetOutcome ResetWith(PortTiming timing, std::vector<std::uint8_t> atr) {
  testing::FakeClock clock;
  testing::FakeLine line{clock};
  const std::vector<std::uint8_t> head(atr.begin(), atr.begin() + 2);
  const std::vector<std::uint8_t> rest(atr.begin() + 2, atr.end());
  line.Arrive(head, milliseconds(60));
  line.Arrive(rest, milliseconds(70));
  testing::FakeDeviceFactory devices{line};
  testing::RecordingMessageSink messages;
  CCardPort port{devices, clock, messages};
  port.SetTiming(timing);
  testing::FakeListBox rows;
  testing::FakeEditBox counter;
  testing::FakeCheckBox bin;
  OutputPanel output{rows, counter, bin};
  ExchangeState exchange;
  std::uint32_t total = 0;
  CardSession session{port, clock, output, exchange, total};
  const char* settings = "COM2: baud=9600 parity=E data=8 stop=2";
  session.Reset(settings, settings);
  return {rows.entries, session.lastTiming().took};
}

TEST(CardSessionTest, WithDeadlinesAResetEndsOnceTheAtrIsWhole) {
  // TS 3B, T0 80 (TD1 follows, no historical bytes), TD1 01 (T=1 offered), TCK 81.
  const std::vector<std::uint8_t> atr = {0x3B, 0x80, 0x01, 0x81};
  const ResetOutcome fixed = ResetWith(PortTiming::kFixed, atr);
  const ResetOutcome deadline = ResetWith(PortTiming::kDeadline, atr);
  EXPECT_THAT(fixed.rows, ElementsAre("Reset...", "3B 80 01 81 "));
  EXPECT_EQ(deadline.rows, fixed.rows);
  EXPECT_EQ(fixed.took, milliseconds(300));
  EXPECT_EQ(deadline.took, milliseconds(70));  // not before the TCK, which T=1 asks for
}

}  // namespace
}  // namespace quorvel
