#include "card/t1_serial_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "card/t1_protocol.h"
#include "support/fake_clock.h"
#include "support/fake_serial_device.h"
#include "support/hex_bytes.h"
#include "support/recording_message_sink.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FakeLine;
using ::testing::HasSubstr;
using testing::HexBytes;

constexpr std::uint32_t kClock = 3'571'200;
constexpr nanoseconds kMargin = kSerialAdapterMargin;
const Bytes kBlock = HexBytes("00 00 05 00 B0 00 00 02 B7");
const Bytes kAnswer = HexBytes("00 00 02 90 00 92");

// T=1 over a fake line at 9600 baud with the ATR's defaults: BWT 1.6 s + 11 etu, CWT 8203 etu.
class T1SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override { port.Open("COM2: baud=9600 parity=E data=8 stop=2"); }

  // The card answers each write with `reply`, `after` later; the echo comes at once.
  void CardAnswers(Bytes reply, nanoseconds after) {
    line.echo = true;
    line.card = [this, reply, after](FakeLine& l, const Bytes&) {
      writtenAt.push_back(clock.Now());
      if (!reply.empty()) l.Arrive(reply, after);
    };
  }

  testing::FakeClock clock;
  FakeLine line{clock};
  testing::FakeDeviceFactory devices{line};
  testing::RecordingMessageSink messages;
  CCardPort port{devices, clock, messages};
  T1Parameters parameters;
  T1SerialLink link{port, clock, parameters, kClock, 9600};
  std::vector<nanoseconds> writtenAt;
};

TEST_F(T1SerialLinkTest, TheBlockWaitingTimeIsADeadlineFromTheEcho) {
  const nanoseconds bwt = link.times().blockWaiting;
  struct Case {
    unsigned factor;
    nanoseconds late;
    T1ReceptionEnd end;
  };
  const Case cases[] = {
      {1, bwt + kMargin, T1ReceptionEnd::kBlock},
      {1, bwt + kMargin + nanoseconds(1), T1ReceptionEnd::kNothing},
      {3, 3 * bwt + kMargin, T1ReceptionEnd::kBlock},
      {3, 3 * bwt + kMargin + nanoseconds(1), T1ReceptionEnd::kNothing},
  };
  for (const Case& c : cases) {
    CardAnswers(kAnswer, c.late);
    const T1Echo echo = link.Send(kBlock);
    EXPECT_THAT(echo.bytes, ElementsAreArray(kBlock));
    const T1Reception reception = link.Receive(c.factor);
    EXPECT_EQ(reception.end, c.end);
    EXPECT_EQ(reception.waited, c.factor * bwt);
    if (c.end == T1ReceptionEnd::kNothing) {
      EXPECT_EQ(clock.Now() - writtenAt.back(), c.factor * bwt + kMargin);
      EXPECT_TRUE(reception.bytes.empty());
    }
    line.pending.clear();
  }
}

TEST_F(T1SerialLinkTest, BlockWaitingStartsWhenTheEchoHasComeBackNotAtTheWrite) {
  // An adapter that hands the whole echo on in one burst, as late as it may: the answer comes
  // later than BWT and the margin after the write, but in time after the echo.
  const nanoseconds echoLate = 9 * milliseconds(1) * 5 / 4 + kMargin - nanoseconds(1);
  const nanoseconds answerLate = echoLate + link.times().blockWaiting + milliseconds(5);
  line.card = [=](FakeLine& l, const Bytes& written) {
    l.Arrive(written, echoLate);
    l.Arrive(kAnswer, answerLate);
  };
  EXPECT_EQ(link.Send(kBlock).bytes.size(), kBlock.size());
  EXPECT_EQ(link.Receive(1).end, T1ReceptionEnd::kBlock);
}

TEST_F(T1SerialLinkTest, TheCharacterWaitingTimeBetweenTheCardsBytes) {
  const nanoseconds cwt = link.times().characterWaiting;
  for (const nanoseconds gap : {cwt + kMargin, cwt + kMargin + nanoseconds(1)}) {
    line.echo = true;
    line.card = [gap](FakeLine& l, const Bytes&) {
      l.Arrive(Bytes(kAnswer.begin(), kAnswer.begin() + 3), milliseconds(5));
      l.Arrive(Bytes(kAnswer.begin() + 3, kAnswer.end()), milliseconds(5) + gap);
    };
    link.Send(kBlock);
    const T1Reception reception = link.Receive(1);
    if (gap == cwt + kMargin) {
      EXPECT_EQ(reception.end, T1ReceptionEnd::kBlock);
      EXPECT_THAT(reception.bytes, ElementsAreArray(kAnswer));
    } else {
      EXPECT_EQ(reception.end, T1ReceptionEnd::kCutShort);
      EXPECT_EQ(reception.bytes.size(), 3u);
    }
    line.pending.clear();
  }
}

TEST_F(T1SerialLinkTest, TheEchoAloneIsReadAndWhatFollowsItStays) {
  // Echo, answer and one stray byte all in the first read.
  line.card = [](FakeLine& l, const Bytes& written) {
    Bytes all = written;
    all.insert(all.end(), kAnswer.begin(), kAnswer.end());
    all.push_back(0xEE);
    l.Arrive(all);
  };
  EXPECT_THAT(link.Send(kBlock).bytes, ElementsAreArray(kBlock));
  EXPECT_THAT(link.Receive(1).bytes, ElementsAreArray(kAnswer));
  EXPECT_EQ(line.pending.size(), 1u);
  // The stray byte is taken off the line before the next block, so its echo stands alone.
  const T1Echo next = link.Send(kBlock);
  EXPECT_THAT(next.cleared, ElementsAre(0xEE));
  EXPECT_THAT(next.bytes, ElementsAreArray(kBlock));
}

TEST_F(T1SerialLinkTest, ABlockGoesOutTheBlockGuardTimeAfterTheCardsLastByte) {
  CardAnswers(kAnswer, milliseconds(10));
  link.Send(kBlock);
  link.Receive(1);
  const nanoseconds lastCardByte = clock.Now();
  link.Send(kBlock);
  ASSERT_EQ(writtenAt.size(), 2u);
  EXPECT_EQ(writtenAt[1], lastCardByte + link.times().blockGuard);
}

TEST_F(T1SerialLinkTest, AfterLenFfTheLineIsLeftToGoQuiet) {
  const nanoseconds cwt = link.times().characterWaiting;
  line.echo = true;
  line.card = [](FakeLine& l, const Bytes&) {
    l.Arrive(HexBytes("00 00 FF"), milliseconds(5));
    for (int i = 1; i <= 4; ++i)
      l.Arrive({static_cast<std::uint8_t>(i)}, milliseconds(5 + 100 * i));
  };
  link.Send(kBlock);
  const nanoseconds start = clock.Now();
  const T1Reception reception = link.Receive(1);
  EXPECT_EQ(reception.end, T1ReceptionEnd::kInvalidLength);
  EXPECT_THAT(reception.bytes, ElementsAreArray(HexBytes("00 00 FF 01 02 03 04")));
  EXPECT_EQ(clock.Now() - start, milliseconds(405) + cwt + kMargin);
}

TEST_F(T1SerialLinkTest, AnExtraGuardTimeSendsOneCharacterAtATime) {
  parameters.extraGuardTime = 2;
  T1SerialLink paced(port, clock, parameters, kClock, 9600);
  CardAnswers({}, {});
  paced.Send(kBlock);
  ASSERT_EQ(writtenAt.size(), kBlock.size());
  EXPECT_EQ(writtenAt[8] - writtenAt[0], 8 * paced.times().characterGuard);
}

TEST_F(T1SerialLinkTest, StopEndsALongWaitSoon) {
  T1SerialLink stoppable(port, clock, parameters, kClock, 9600,
                         [this] { return clock.Now() >= milliseconds(500); });
  CardAnswers({}, {});
  stoppable.Send(kBlock);
  EXPECT_EQ(stoppable.Receive(100).end, T1ReceptionEnd::kStopped);
  EXPECT_LE(clock.Now(), milliseconds(500) + PacedReader::kStopPoll);
}

// Through the protocol: an echo that differs is explained; one that does not come fails.
TEST_F(T1SerialLinkTest, TheEchoIsChecked) {
  T1Protocol protocol(parameters);
  ExchangeState state;
  line.card = [](FakeLine& l, const Bytes& written) {
    Bytes echo = written;
    echo[1] ^= 0x01;
    l.Arrive(echo);
    l.Arrive(kAnswer, milliseconds(5));
  };
  EXPECT_TRUE(protocol.Transmit(link, HexBytes("00 B0 00 00 02"), state).complete);
  EXPECT_THAT(state.blocks[0].meaning,
              HasSubstr("its echo differs: byte 2 came back as 01 for 00"));

  line.card = nullptr;
  EXPECT_FALSE(protocol.Transmit(link, HexBytes("00 B0 00 00 02"), state).complete);
  EXPECT_THAT(state.failure, HasSubstr("only 0 came back as their echo"));
  EXPECT_TRUE(protocol.needsReset());
}

}  // namespace
}  // namespace quorvel
