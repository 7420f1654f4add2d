#include "card/full_t0_exchange.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/card_commands.h"
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
using testing::MakeCommand;

// WT with WI = 10 at Fi = 372 and 3.5712 MHz.
constexpr nanoseconds kWorkWaitingTime = milliseconds(1000);

// The echoing line, with a card that answers each write with the next of its replies.
class FullT0Test : public ::testing::Test {
 protected:
  void SetUp() override {
    line.echo = true;
    port.Open("COM2: baud=9600 parity=E data=8 stop=2");
  }

  void CardReplies(std::vector<Bytes> replies, nanoseconds after = milliseconds(1)) {
    line.card = [replies, after, n = std::size_t{0}](FakeLine& l, const Bytes&) mutable {
      if (n < replies.size()) l.Arrive(replies[n++], after);
    };
  }

  int Run(const CardCommand& command) {
    return ExchangeCommandFullT0(port, clock, command, kWorkWaitingTime, state);
  }

  testing::FakeClock clock;
  FakeLine line{clock};
  testing::FakeDeviceFactory devices{line};
  testing::RecordingMessageSink messages;
  CCardPort port{devices, clock, messages};
  ExchangeState state;
};

TEST_F(FullT0Test, EveryProcedureByte) {
  struct Case {
    const char* name;
    const char* header;
    std::uint8_t direction;
    std::vector<Bytes> replies;
    int result;
    ExchangeStop stop;
    const char* afterEcho;  // what `received` holds after the header's echo
    std::uint16_t statusWord;
  };
  const Case cases[] = {
      {"NULL before and after the data",
       "00 B0 00 00 02",
       kFromCard,
       {HexBytes("60 B0 01 02 60 90 00")},
       1,
       ExchangeStop::kComplete,
       "60 B0 01 02 60",
       0x9000},
      {"INS: all the data to the card",
       "00 D6 00 00 03",
       kToCard,
       {HexBytes("D6"), HexBytes("90 00")},
       1,
       ExchangeStop::kComplete,
       "D6 11 22 33",
       0x9000},
      {"the complement of INS: one byte each",
       "00 D6 00 00 03",
       kToCard,
       {HexBytes("60 29"), HexBytes("29"), HexBytes("60 29"), HexBytes("61 10")},
       1,
       ExchangeStop::kComplete,
       "60 29 11 29 22 60 29 33",
       0x6110},
      {"the complement of INS from the card",
       "00 B0 00 00 02",
       kFromCard,
       {HexBytes("4F 01 60 4F 02 90 00")},
       1,
       ExchangeStop::kComplete,
       "4F 01 60 4F 02",
       0x9000},
      {"SW1 in place of the procedure byte",
       "00 A4 00 00 02",
       kToCard,
       {HexBytes("6A 82")},
       1,
       ExchangeStop::kComplete,
       "",
       0x6A82},
      {"after NULL, SW1 in place",
       "A0 88 00 00 10",
       kToCard,
       {HexBytes("60 60 98 04")},
       1,
       ExchangeStop::kComplete,
       "60 60",
       0x9804},
      {"neither procedure byte nor SW1",
       "00 B0 00 00 02",
       kFromCard,
       {HexBytes("42 90 00")},
       0,
       ExchangeStop::kWrongProcedureByte,
       "42",
       0},
      {"no procedure byte",
       "00 B0 00 00 02",
       kFromCard,
       {},
       0,
       ExchangeStop::kNoProcedureByte,
       "",
       0},
      {"data cut short",
       "00 B0 00 00 04",
       kFromCard,
       {HexBytes("B0 01 02")},
       0,
       ExchangeStop::kTransmitFailed,
       "B0 01 02",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CardReplies(c.replies);
    const Bytes header = HexBytes(c.header);
    const int result = Run(MakeCommand(header, c.direction, HexBytes("11 22 33")));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(state.stop, c.stop);
    Bytes expected = header;
    const Bytes rest = HexBytes(c.afterEcho);
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_THAT(state.received, ElementsAreArray(expected));
    if (c.result == 1) {
      EXPECT_EQ(state.statusArrived, 2);
      EXPECT_EQ(state.statusWord[0], c.statusWord >> 8);
      EXPECT_EQ(state.statusWord[1], c.statusWord & 0xFF);
    }
  }
}

TEST_F(FullT0Test, P3ZeroAsksFor256Bytes) {
  Bytes answer = HexBytes("B0");
  answer.resize(257, 0x5A);
  answer.insert(answer.end(), {0x90, 0x00});
  CardReplies({answer});
  EXPECT_EQ(Run(MakeCommand(HexBytes("00 B0 00 00 00"), kFromCard)), 1);
  EXPECT_EQ(state.received.size(), 5u + 1 + 256);
  EXPECT_EQ(state.statusArrived, 2);
}

TEST_F(FullT0Test, TheWorkWaitingTimeIsTheDeadlineBetweenCharacters) {
  struct Case {
    nanoseconds late;
    int result;
  };
  // A procedure byte late by up to WT and the adapters' margin is an answer.
  for (const Case& c : {Case{milliseconds(1019), 1}, Case{milliseconds(1021), 0}}) {
    CardReplies({HexBytes("90 00")}, c.late);
    const auto start = clock.Now();
    EXPECT_EQ(Run(MakeCommand(HexBytes("00 20 00 01 00"), kToCard)), c.result);
    if (c.result == 0) {
      EXPECT_EQ(clock.Now() - start, kWorkWaitingTime + milliseconds(20));
    }
    line.pending.clear();
  }
}

TEST_F(FullT0Test, UnaskedBytesAreClearedAndCounted) {
  line.Arrive(HexBytes("3B 00 17"));
  CardReplies({HexBytes("6D 00")});
  EXPECT_EQ(Run(MakeCommand(HexBytes("00 CA 00 00 00"), kFromCard)), 1);
  EXPECT_EQ(state.clearedBeforeHeader, 3u);
  EXPECT_THAT(state.received, ElementsAreArray(HexBytes("00 CA 00 00 00")));
}

TEST_F(FullT0Test, EndlessNullBytesAreBounded) {
  CardReplies({Bytes(kMaxNullBytes + 1, 0x60)});
  EXPECT_EQ(Run(MakeCommand(HexBytes("00 B0 00 00 01"), kFromCard)), 0);
  EXPECT_THAT(state.failure, HasSubstr("more than 1000 NULL bytes"));
}

}  // namespace
}  // namespace quorvel
