#include "card/command_exchange.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "port/system_device_factory.h"
#include "support/fake_clock.h"
#include "support/fake_serial_device.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FakeLine;

CardCommand Command(const Bytes& header, std::uint8_t direction, const Bytes& data = {}) {
  CardCommand command = NewCardCommand();
  std::copy(header.begin(), header.end(), command.header);
  command.direction = direction;
  std::copy(data.begin(), data.end(), command.data);
  return command;
}

// A scripted reader: the line echoes; the card answers the header with one block and
// the data sent to it with another, each a millisecond later.
class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    line.echo = true;
    port.Open("COM2: baud=9600 parity=E data=8 stop=2");
    state.statusWord[0] = 0xAB;
    state.statusWord[1] = 0xCD;
  }

  void CardAnswers(Bytes afterHeader, Bytes afterData = {}) {
    line.card = [afterHeader, afterData, writes = 0](FakeLine& l, const Bytes&) mutable {
      l.Arrive(++writes == 1 ? afterHeader : afterData, milliseconds(1));
    };
  }

  Bytes Received() const { return state.received; }

  testing::FakeClock clock;
  FakeLine line{clock};
  testing::FakeDeviceFactory devices{line};
  testing::RecordingMessageSink messages;
  CCardPort port{devices, clock, messages};
  ExchangeState state;
};

TEST_F(ExchangeTest, ReadBinaryAnsweredInFull) {
  CardAnswers({0xB0, 0x11, 0x22, 0x33, 0x44, 0x90, 0x00});
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard), state), 1);
  EXPECT_EQ(state.received.size(), 10u);
  EXPECT_THAT(Received(), ElementsAre(0x00, 0xB0, 0x00, 0x00, 0x04, 0xB0, 0x11, 0x22, 0x33, 0x44));
  EXPECT_EQ(state.stop, ExchangeStop::kComplete);
  EXPECT_THAT(state.statusWord, ElementsAre(0x90, 0x00));
  EXPECT_EQ(state.statusArrived, 2);
  EXPECT_THAT(clock.waits, ElementsAre(milliseconds(50)));
  EXPECT_THAT(line.writes, ElementsAre(ElementsAre(0x00, 0xB0, 0x00, 0x00, 0x04)));
}

TEST_F(ExchangeTest, AStatusWordInPlaceOfTheProcedureByteStandsInTheReceivedBytes) {
  CardAnswers({0x6D, 0x00});
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0xCA, 0x00, 0x00, 0x04}, kFromCard), state), 0);
  EXPECT_EQ(state.received.size(), 7u);
  EXPECT_THAT(Received(), ElementsAre(0x00, 0xCA, 0x00, 0x00, 0x04, 0x6D, 0x00));
  EXPECT_EQ(state.stop, ExchangeStop::kWrongProcedureByte);
  EXPECT_THAT(state.statusWord, ElementsAre(0xAB, 0xCD));
  EXPECT_EQ(state.statusArrived, 0);
  EXPECT_THAT(clock.waits, ElementsAre(milliseconds(50)));
}

TEST_F(ExchangeTest, OnlyTheEchoEndsAfterTheLateProcedureByteWait) {
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard), state), 0);
  EXPECT_EQ(state.received.size(), 5u);
  EXPECT_EQ(state.stop, ExchangeStop::kNoProcedureByte);
  EXPECT_THAT(clock.waits, ElementsAre(milliseconds(50), milliseconds(150)));
  EXPECT_EQ(line.writes.size(), 1u);  // no data without a procedure byte
}

TEST_F(ExchangeTest, ALateProcedureByteIsTakenAfterTheLongerWait) {
  line.card = [](FakeLine& l, const Bytes&) {
    l.Arrive({0xB0}, milliseconds(120));
    l.Arrive({0x01, 0x90, 0x00}, milliseconds(130));
  };
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0xB0, 0x00, 0x00, 0x01}, kFromCard), state), 1);
  EXPECT_EQ(state.received.size(), 7u);
  EXPECT_THAT(state.statusWord, ElementsAre(0x90, 0x00));
}

TEST_F(ExchangeTest, NothingAtAllOnAClosedPort) {
  port.Close();
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard), state), 0);
  EXPECT_EQ(state.received.size(), 0u);
  EXPECT_EQ(state.stop, ExchangeStop::kNoEcho);
  EXPECT_THAT(clock.waits, ElementsAre(milliseconds(50)));
}

TEST_F(ExchangeTest, AShortDataEchoStopsBeforeTheStatus) {
  line.echo = false;
  line.card = [writes = 0](FakeLine& l, const Bytes& written) mutable {
    if (++writes == 1) {
      l.Arrive(written);
      l.Arrive({0xD6}, milliseconds(1));
    } else {
      l.Arrive(Bytes(written.begin(), written.begin() + 2));
      l.Arrive({0x90, 0x00}, milliseconds(5000));
    }
  };
  EXPECT_EQ(
      ExchangeCommand(port, Command({0x00, 0xD6, 0x00, 0x00, 0x03}, kToCard, {1, 2, 3}), state), 0);
  EXPECT_EQ(state.received.size(), 8u);
  EXPECT_EQ(state.stop, ExchangeStop::kShortDataEcho);
  EXPECT_EQ(clock.TotalWaited(), milliseconds(50 + 6 * 200));
  EXPECT_EQ(line.pending.size(), 2u);  // the status bytes were never read
}

TEST_F(ExchangeTest, AShortAnswerFromTheCardLeavesTheStatusUnknown) {
  CardAnswers({0xB0, 0x01, 0x02, 0x90, 0x00});
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0xB0, 0x00, 0x00, 0x08}, kFromCard), state), 1);
  EXPECT_EQ(state.received.size(), 10u);
  EXPECT_THAT(Received(), ElementsAre(0x00, 0xB0, 0x00, 0x00, 0x08, 0xB0, 0x01, 0x02, 0x90, 0x00));
  EXPECT_EQ(state.statusArrived, 0);
  EXPECT_THAT(state.statusWord, ElementsAre(0xAB, 0xCD));
  EXPECT_EQ(clock.TotalWaited(), milliseconds(50 + 12 * 200));
}

TEST_F(ExchangeTest, OnlyTheStatusBytesThatArriveOverwrite) {
  CardAnswers({0x20, 0x6A});
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0x20, 0x00, 0x01, 0x00}, kToCard), state), 1);
  EXPECT_EQ(state.statusArrived, 1);
  EXPECT_THAT(state.statusWord, ElementsAre(0x6A, 0xCD));

  CardAnswers({0x6E, 0x00});  // a failed exchange after it tells of no status bytes
  ExchangeCommand(port, Command({0x80, 0x20, 0x00, 0x01, 0x00}, kToCard), state);
  EXPECT_EQ(state.statusArrived, 0);
}

TEST_F(ExchangeTest, AWholeBlockOf255BytesToTheCard) {
  Bytes data(255);
  std::iota(data.begin(), data.end(), 0);
  CardAnswers({0xD6}, {0x90, 0x00});
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0xD6, 0x00, 0x00, 0xFF}, kToCard, data), state),
            1);
  EXPECT_EQ(state.received.size(), 261u);
  EXPECT_THAT(Bytes(state.received.begin() + 6, state.received.end()), ElementsAreArray(data));
  EXPECT_EQ(line.writes[1], data);
  EXPECT_THAT(state.statusWord, ElementsAre(0x90, 0x00));
}

TEST_F(ExchangeTest, NoDataBytesWhenP3IsZero) {
  for (std::uint8_t direction : {kToCard, kFromCard}) {
    CardAnswers({0x20, 0x63, 0xC3});
    EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0x20, 0x00, 0x01, 0x00}, direction), state), 1);
    EXPECT_EQ(state.received.size(), 6u);
    EXPECT_THAT(state.statusWord, ElementsAre(0x63, 0xC3));
    EXPECT_EQ(clock.TotalWaited(), milliseconds(50));
    clock.waits.clear();
    line.writes.clear();
  }
}

TEST_F(ExchangeTest, LateBytesAreReceivedByTheNextExchange) {
  line.card = [](FakeLine& l, const Bytes&) { l.Arrive({0xA4}, milliseconds(400)); };
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard), state), 0);
  line.card = nullptr;
  clock.Advance(milliseconds(300));
  EXPECT_EQ(ExchangeCommand(port, Command({0x00, 0xB0, 0x00, 0x00, 0x01}, kFromCard), state), 0);
  EXPECT_THAT(Received(), ElementsAre(0xA4, 0x00, 0xB0, 0x00, 0x00, 0x01));
}

// The same card in the inverse convention: the line carries converted bytes both ways.
TEST_F(ExchangeTest, AnInverseConventionCardGivesTheSameResults) {
  const CardCommand command = Command({0x00, 0xB0, 0x00, 0x00, 0x02}, kFromCard);
  const Bytes answer = {0xB0, 0x3F, 0x03, 0x90, 0x00};
  CardAnswers(answer);
  ASSERT_EQ(ExchangeCommand(port, command, state), 1);
  const Bytes direct = Received();
  const std::size_t directCount = state.received.size();

  ExchangeState inverseState;
  port.SetInverse(1);
  line.echo = false;
  line.card = [answer](FakeLine& l, const Bytes& written) {
    l.Arrive(written);
    Bytes onLine(answer.size());
    std::transform(answer.begin(), answer.end(), onLine.begin(), CCardPort::ConvertInverse);
    l.Arrive(onLine, milliseconds(1));
  };
  ASSERT_EQ(ExchangeCommand(port, command, inverseState), 1);
  EXPECT_EQ(Received(), direct);
  EXPECT_EQ(inverseState.received.size(), directCount);
  EXPECT_EQ(inverseState.received, direct);
  EXPECT_THAT(inverseState.statusWord, ElementsAre(0x90, 0x00));
  EXPECT_THAT(line.writes.back(), ElementsAre(0xFF, 0xF2, 0xFF, 0xFF, 0xBF));
}

// Cards that answer in their own time. Each scripted answer follows a write by `after`.
struct TimedAnswer {
  int afterWrite;  // 1: the header, 2: the data
  milliseconds after;
  Bytes bytes;
};
struct SlowCard {
  const char* name;
  CardCommand command;
  std::vector<TimedAnswer> answers;
};

struct Outcome {
  int result;
  Bytes received;
  std::uint8_t sw[2];
  int arrived;
  std::chrono::nanoseconds took;  // from the first header to the end of this exchange
};

// Runs the card's command `times` times in a row on one line.
std::vector<Outcome> RunWith(PortTiming timing, const SlowCard& card, int times = 1) {
  testing::FakeClock clock;
  FakeLine line{clock};
  line.echo = true;
  line.card = [&card, writes = 0](FakeLine& l, const Bytes&) mutable {
    ++writes;
    for (const TimedAnswer& a : card.answers)
      if (a.afterWrite == writes) l.Arrive(a.bytes, a.after);
  };
  testing::FakeDeviceFactory devices{line};
  testing::RecordingMessageSink messages;
  CCardPort port{devices, clock, messages};
  port.SetTiming(timing);
  port.Open("COM2: baud=9600 parity=E data=8 stop=2");
  std::vector<Outcome> outcomes;
  for (int i = 0; i < times; ++i) {
    ExchangeState state;
    const int result = ExchangeCommand(port, card.command, state);
    outcomes.push_back({result,
                        state.received,
                        {state.statusWord[0], state.statusWord[1]},
                        state.statusArrived,
                        clock.Now()});
  }
  return outcomes;
}

// One byte every 20 ms from `from` on: `count` bytes counting up from `first`.
std::vector<TimedAnswer> EveryTwentyMs(int afterWrite, int from, int count, std::uint8_t first) {
  std::vector<TimedAnswer> answers;
  for (int i = 0; i < count; ++i)
    answers.push_back(
        {afterWrite, milliseconds(from + 20 * i), {static_cast<std::uint8_t>(first + i)}});
  return answers;
}

template <class... Parts>
std::vector<TimedAnswer> Joined(Parts... parts) {
  std::vector<TimedAnswer> all;
  (all.insert(all.end(), parts.begin(), parts.end()), ...);
  return all;
}

// With deadlines an exchange takes the same bytes as with the fixed waits, only sooner:
// every wait starts where the fixed one would, and ends where its last attempt would.
TEST(ExchangeTimingTest, DeadlinesTakeTheSameBytesSooner) {
  const std::vector<SlowCard> cards = {
      {"procedure byte after 120 ms, data in bursts",
       Command({0x00, 0xB0, 0x00, 0x00, 0x08}, kFromCard),
       {{1, milliseconds(120), {0xB0}},
        {1, milliseconds(300), {1, 2, 3}},
        {1, milliseconds(700), {4, 5, 6, 7, 8}},
        {1, milliseconds(900), {0x90}},
        {1, milliseconds(1300), {0x00}}}},
      {"data to the card, status late",
       Command({0x00, 0xD6, 0x00, 0x00, 0x02}, kToCard, {0xAA, 0xBB}),
       {{1, milliseconds(10), {0xD6}}, {2, milliseconds(450), {0x90, 0x00}}}},
      // The data goes out 50 ms after the header with fixed waits: the status read's last
      // attempt is 1250 ms after the header, whenever the procedure byte came.
      {"data to the card, status timed from the header",
       Command({0x00, 0xD6, 0x00, 0x00, 0x02}, kToCard, {0xAA, 0xBB}),
       {{1, milliseconds(10), {0xD6}}, {1, milliseconds(1240), {0x90, 0x00}}}},
      // The fixed data read finds its last byte at 250 ms: its status read ends at 1450 ms.
      {"status read from where the fixed data read ended",
       Command({0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard),
       {{1, milliseconds(5), {0xB0, 1, 2, 3}},
        {1, milliseconds(210), {4}},
        {1, milliseconds(1440), {0x90, 0x00}}}},
      // 20 ms a byte: the data read ends 1250 ms after the header with 61 of the 80 bytes,
      // and the status read takes the next two.
      {"20 ms a byte, the answer outlasting the data read",
       Command({0x00, 0xB0, 0x00, 0x00, 0x50}, kFromCard),
       Joined(EveryTwentyMs(1, 17, 1, 0xB0), EveryTwentyMs(1, 37, 80, 0x00))},
      {"refused in place of the procedure byte",
       Command({0x00, 0xCA, 0x00, 0x00, 0x04}, kFromCard),
       {{1, milliseconds(30), {0x6D, 0x00}}}},
      {"refused, SW2 a character after SW1",
       Command({0x00, 0xCA, 0x00, 0x00, 0x04}, kFromCard),
       {{1, milliseconds(30), {0x6D}}, {1, milliseconds(31), {0x00}}}},
      {"refused after the late procedure byte wait began",
       Command({0x00, 0xCA, 0x00, 0x00, 0x04}, kFromCard),
       {{1, milliseconds(120), {0x6A}}, {1, milliseconds(190), {0x82}}}},
      {"a card that only echoes", Command({0x00, 0xB0, 0x00, 0x00, 0x04}, kFromCard), {}},
      {"a short answer",
       Command({0x00, 0xB0, 0x00, 0x00, 0x08}, kFromCard),
       {{1, milliseconds(5), {0xB0, 1, 2, 0x90, 0x00}}}},
  };
  for (const SlowCard& card : cards) {
    SCOPED_TRACE(card.name);
    const Outcome fixed = RunWith(PortTiming::kFixed, card)[0];
    const Outcome deadline = RunWith(PortTiming::kDeadline, card)[0];
    EXPECT_EQ(deadline.result, fixed.result);
    EXPECT_EQ(deadline.received, fixed.received);
    EXPECT_EQ(deadline.arrived, fixed.arrived);
    EXPECT_THAT(deadline.sw, ElementsAreArray(fixed.sw));
    EXPECT_LE(deadline.took, fixed.took);
  }
  // The bursts above end 1300 ms after the header: deadlines wait for nothing more.
  EXPECT_EQ(RunWith(PortTiming::kDeadline, cards[0])[0].took, milliseconds(1300));
  const Outcome slow = RunWith(PortTiming::kFixed, cards[4])[0];
  EXPECT_EQ(slow.received.size(), 5u + 1 + 61);
  EXPECT_THAT(slow.sw, ElementsAre(61, 62));
}

// The bound of deadlines: an exchange ends as soon as its status bytes are in, up to
// 200 ms before the fixed status read's next attempt, and the next command goes out at
// once. A byte the card sends unasked after its status bytes then meets the next
// command's echo at another place.
TEST(ExchangeTimingTest, OnlyBytesSentAfterTheStatusMeetTheNextCommandSooner) {
  const SlowCard card = {"a byte after the status",
                         Command({0x00, 0xB0, 0x00, 0x00, 0x01}, kFromCard),
                         {{1, milliseconds(5), {0xB0, 0x11}},
                          {1, milliseconds(60), {0x90, 0x00}},
                          {1, milliseconds(100), {0xEE}},
                          {2, milliseconds(5), {0xB0, 0x22, 0x90, 0x00}}}};
  const std::vector<Outcome> fixed = RunWith(PortTiming::kFixed, card, 2);
  const std::vector<Outcome> deadline = RunWith(PortTiming::kDeadline, card, 2);
  EXPECT_EQ(deadline[0].received, fixed[0].received);
  EXPECT_THAT(deadline[0].sw, ElementsAreArray(fixed[0].sw));
  EXPECT_EQ(fixed[0].took, milliseconds(250));
  EXPECT_EQ(deadline[0].took, milliseconds(60));
  // Fixed: the stray byte came before the second header, and stands where the echo starts.
  EXPECT_EQ(fixed[1].received, (Bytes{0xEE, 0x00, 0xB0, 0x00, 0x00, 0x01, 0xB0}));
  EXPECT_EQ(fixed[1].result, 0);
  // Deadlines: it comes after the second exchange's answer, for the one after.
  EXPECT_EQ(deadline[1].received, (Bytes{0x00, 0xB0, 0x00, 0x00, 0x01, 0xB0, 0x22}));
  EXPECT_EQ(deadline[1].result, 1);
}

TEST(ExchangeWithTheDemoCardTest, ResetThenSelectAndReadBinary) {
  testing::FakeClock clock;
  testing::RecordingMessageSink messages;
  SystemDeviceFactory devices({}, clock);
  CCardPort port(devices, clock, messages);
  const char* settings = "DEMO: baud=9600 parity=E data=8 stop=2";
  port.Open(settings);
  port.PulseReset(settings);
  std::uint8_t atr[64];
  EXPECT_EQ(port.Read(atr, 64, 0), 16u);
  port.ApplySettings("DEMO: baud=115200 parity=E data=8 stop=2");

  ExchangeState state;
  for (std::uint16_t id : {0x7F10, 0x6F01}) {
    const Bytes fid = {static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
    ASSERT_EQ(ExchangeCommand(port, Command({0x00, 0xA4, 0x00, 0x00, 0x02}, kToCard, fid), state),
              1);
    EXPECT_EQ(state.statusWord[0], 0x61);
  }
  ASSERT_EQ(ExchangeCommand(port, Command({0x00, 0xB0, 0x00, 0x00, 0x05}, kFromCard), state), 1);
  EXPECT_THAT(Bytes(state.received.begin() + 5, state.received.end()),
              ElementsAre(0xB0, 'H', 'e', 'l', 'l', 'o'));
  EXPECT_THAT(state.statusWord, ElementsAre(0x90, 0x00));
  EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
}  // namespace quorvel
