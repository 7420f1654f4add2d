#include "port/demo_card.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "iso7816/atr.h"
#include "support/fake_clock.h"
#include "support/hex_bytes.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const Bytes kAtr = {0x3B, 0x6C, 0x00, 0x00, 'Q', 'U', 'O', 'R',
                    'V',  'E',  'L',  ' ',  'D', 'E', 'M', 'O'};

// One of the built-in cards on a line at 9600 8E2: 12 bits, 1.25 ms a character.
template <DemoCardModel kModel>
class BuiltInCardTest : public ::testing::Test {
 protected:
  void SetUp() override { SetRate(9600); }

  void SetRate(std::uint32_t baud) {
    LineSettings line{.baudRate = baud, .parity = Parity::Even, .stopBits = StopBits::Two};
    line.rtsControl = RtsControl::Disable;
    ASSERT_TRUE(card.SetLineSettings(line));
  }

  Bytes ReadAll() {
    Bytes got(1024);
    got.resize(card.Read(got.data(), got.size()));
    return got;
  }

  Bytes Reset() {
    card.SetRts(true);
    clock.Advance(milliseconds(50));
    card.SetRts(false);
    clock.Advance(milliseconds(250));
    return ReadAll();
  }

  testing::FakeClock clock;
  DemoCard card{clock, kModel, 3'571'200};
};

class DemoCardTest : public BuiltInCardTest<DemoCardModel::kDemo> {
 protected:
  // Sends a header and, once the card has answered INS, its data; returns what the
  // card sent, the echo left out.
  Bytes Command(const Bytes& header, const Bytes& data = {}) {
    card.Write(header.data(), header.size());
    clock.Advance(milliseconds(50));
    Bytes got = ReadAll();
    if (got.size() == 6 && got[5] == header[1] && !data.empty()) {
      card.Write(data.data(), data.size());
      clock.Advance(milliseconds(500));
      const Bytes rest = ReadAll();
      got.insert(got.end(), rest.begin() + data.size(), rest.end());
    }
    clock.Advance(milliseconds(500));
    const Bytes late = ReadAll();
    got.insert(got.end(), late.begin(), late.end());
    return Bytes(got.begin() + 5, got.end());
  }
};

TEST_F(DemoCardTest, EchoesAtTheCharacterTimeOfTheLine) {
  const std::uint8_t bytes[] = {0x00, 0xA4};
  EXPECT_EQ(card.Write(bytes, 2), 2u);
  EXPECT_THAT(ReadAll(), IsEmpty());
  clock.Advance(nanoseconds(1'250'000));
  EXPECT_THAT(ReadAll(), ElementsAre(0x00));
  clock.Advance(nanoseconds(1'249'999));
  EXPECT_THAT(ReadAll(), IsEmpty());
  clock.Advance(nanoseconds(1));
  EXPECT_THAT(ReadAll(), ElementsAre(0xA4));

  LineSettings fast;
  ASSERT_TRUE(card.GetLineSettings(fast));
  fast.baudRate = 115200;
  fast.parity = Parity::None;
  fast.stopBits = StopBits::One;
  ASSERT_TRUE(card.SetLineSettings(fast));
  card.Write(bytes, 1);
  clock.Advance(nanoseconds(86'805));  // 10 bits at 115200 baud: 86.8 us
  EXPECT_THAT(ReadAll(), ElementsAre(0x00));
}

TEST_F(DemoCardTest, StaysSilentUntilReset) {
  EXPECT_THAT(Command({0x00, 0xA4, 0x00, 0x00, 0x02}), IsEmpty());
}

TEST_F(DemoCardTest, AnRtsPulseBringsTheAnswerToReset) {
  EXPECT_EQ(Reset(), kAtr);
  card.SetRts(false);  // no pulse: no second answer
  clock.Advance(milliseconds(250));
  EXPECT_THAT(ReadAll(), IsEmpty());
}

TEST_F(DemoCardTest, HeldInResetTheCardIgnoresBytes) {
  card.SetRts(true);
  const std::uint8_t stray[] = {0x00, 0xB0};
  card.Write(stray, 2);
  card.SetRts(false);
  clock.Advance(milliseconds(300));
  EXPECT_THAT(ReadAll(), ElementsAre(0x00, 0xB0, 0x3B, 0x6C, 0x00, 0x00, 'Q', 'U', 'O', 'R', 'V',
                                     'E', 'L', ' ', 'D', 'E', 'M', 'O'));
  EXPECT_THAT(Command({0x00, 0x84, 0x00, 0x00, 0x08}).size(), 11u);
}

TEST_F(DemoCardTest, RefusesUnknownClassesInstructionsAndWrongLengths) {
  Reset();
  EXPECT_THAT(Command({0x80, 0xA4, 0x00, 0x00, 0x02}), ElementsAre(0x6E, 0x00));
  EXPECT_THAT(Command({0x00, 0xCA, 0x00, 0x00, 0x00}), ElementsAre(0x6D, 0x00));
  EXPECT_THAT(Command({0x00, 0xA4, 0x00, 0x00, 0x03}), ElementsAre(0x67, 0x00));
  EXPECT_THAT(Command({0x00, 0xA4, 0x04, 0x00, 0x02}), ElementsAre(0x6A, 0x86));
  EXPECT_THAT(Command({0x00, 0x84, 0x00, 0x00, 0x04}), ElementsAre(0x6C, 0x08));
  EXPECT_THAT(Command({0x00, 0xB0, 0x00, 0x00, 0x01}), ElementsAre(0x69, 0x86));  // no EF
  EXPECT_THAT(Command({0x00, 0xC0, 0x00, 0x00, 0x01}), ElementsAre(0x69, 0x85));
}

TEST_F(DemoCardTest, SelectsFilesAndHandsOutTheirParametersWithGetResponse) {
  Reset();
  EXPECT_THAT(Command({0x00, 0xA4, 0x00, 0x00, 0x02}, {0x3F, 0x00}), ElementsAre(0xA4, 0x61, 0x09));
  EXPECT_THAT(Command({0x00, 0xC0, 0x00, 0x00, 0x10}), ElementsAre(0x6C, 0x09));
  EXPECT_THAT(Command({0x00, 0xC0, 0x00, 0x00, 0x04}),
              ElementsAre(0xC0, 0x62, 0x07, 0x82, 0x01, 0x61, 0x05));
  EXPECT_THAT(Command({0x00, 0xC0, 0x00, 0x00, 0x05}),
              ElementsAre(0xC0, 0x38, 0x83, 0x02, 0x3F, 0x00, 0x90, 0x00));

  EXPECT_THAT(Command({0x00, 0xA4, 0x00, 0x00, 0x02}, {0x6F, 0x01}), ElementsAre(0xA4, 0x6A, 0x82));
  EXPECT_THAT(Command({0x00, 0xA4, 0x00, 0x0C, 0x02}, {0x7F, 0x10}), ElementsAre(0xA4, 0x90, 0x00));
  EXPECT_THAT(Command({0x00, 0xA4, 0x00, 0x00, 0x02}, {0x6F, 0x01}), ElementsAre(0xA4, 0x61, 0x0D));
  Command({0x00, 0xB0, 0x00, 0x00, 0x01});  // any other command drops the waiting response
  EXPECT_THAT(Command({0x00, 0xC0, 0x00, 0x00, 0x0D}), ElementsAre(0x69, 0x85));
  EXPECT_THAT(Command({0x00, 0xA4, 0x00, 0x00, 0x02}, {0x3F, 0x00}), ElementsAre(0xA4, 0x61, 0x09));
}

TEST_F(DemoCardTest, ReadsAndUpdatesTransparentFilesUntilTheNextReset) {
  Reset();
  Command({0x00, 0xA4, 0x00, 0x0C, 0x02}, {0x7F, 0x10});
  Command({0x00, 0xA4, 0x00, 0x0C, 0x02}, {0x6F, 0x01});
  const std::string text = "Hello from the Quorvel demo card";
  Bytes expected = {0xB0};
  expected.insert(expected.end(), text.begin(), text.end());
  expected.insert(expected.end(), {0x90, 0x00});
  EXPECT_EQ(Command({0x00, 0xB0, 0x00, 0x00, 0x20}), expected);
  EXPECT_THAT(Command({0x00, 0xB0, 0x00, 0x00, 0x00}), ElementsAre(0x6C, 0x20));
  EXPECT_THAT(Command({0x00, 0xB0, 0x00, 0x1E, 0x05}), ElementsAre(0x6C, 0x02));
  EXPECT_THAT(Command({0x00, 0xB0, 0x00, 0x20, 0x01}), ElementsAre(0x6B, 0x00));
  EXPECT_THAT(Command({0x00, 0xD6, 0x00, 0x1F, 0x02}), ElementsAre(0x67, 0x00));

  EXPECT_THAT(Command({0x00, 0xD6, 0x00, 0x06, 0x04}, {'F', 'R', 'O', 'M'}),
              ElementsAre(0xD6, 0x90, 0x00));
  EXPECT_THAT(Command({0x00, 0xB0, 0x00, 0x04, 0x06}),
              ElementsAre(0xB0, 'o', ' ', 'F', 'R', 'O', 'M', 0x90, 0x00));
  Reset();
  Command({0x00, 0xA4, 0x00, 0x0C, 0x02}, {0x7F, 0x10});
  Command({0x00, 0xA4, 0x00, 0x0C, 0x02}, {0x6F, 0x01});
  EXPECT_THAT(Command({0x00, 0xB0, 0x00, 0x06, 0x04}),
              ElementsAre(0xB0, 'f', 'r', 'o', 'm', 0x90, 0x00));
}

TEST_F(DemoCardTest, MovesWholeBlocksOf255Bytes) {
  Reset();
  Command({0x00, 0xA4, 0x00, 0x0C, 0x02}, {0x7F, 0x10});
  EXPECT_THAT(Command({0x00, 0xA4, 0x00, 0x00, 0x02}, {0x6F, 0x03}), ElementsAre(0xA4, 0x61, 0x0D));
  EXPECT_THAT(Command({0x00, 0xC0, 0x00, 0x00, 0x0D}),
              ElementsAre(0xC0, 0x62, 0x0B, 0x82, 0x01, 0x01, 0x83, 0x02, 0x6F, 0x03, 0x80, 0x02,
                          0x00, 0xFF, 0x90, 0x00));
  Bytes block(255, 0x5A);
  EXPECT_THAT(Command({0x00, 0xD6, 0x00, 0x00, 0xFF}, block), ElementsAre(0xD6, 0x90, 0x00));
  const Bytes read = Command({0x00, 0xB0, 0x00, 0x00, 0xFF});
  ASSERT_EQ(read.size(), 258u);
  EXPECT_EQ(Bytes(read.begin() + 1, read.end() - 2), block);
  EXPECT_THAT(Command({0x00, 0xB0, 0x00, 0xFE, 0x02}), ElementsAre(0x6C, 0x01));
}

TEST_F(DemoCardTest, ThePinOpensItsFileAndBlocksAfterThreeWrongTries) {
  const Bytes verify = {0x00, 0x20, 0x00, 0x01, 0x08};
  const Bytes pin = {'1', '2', '3', '4', 0xFF, 0xFF, 0xFF, 0xFF};
  const Bytes wrong = {'0', '0', '0', '0', 0xFF, 0xFF, 0xFF, 0xFF};
  Reset();
  Command({0x00, 0xA4, 0x00, 0x0C, 0x02}, {0x7F, 0x10});
  Command({0x00, 0xA4, 0x00, 0x0C, 0x02}, {0x6F, 0x02});
  EXPECT_THAT(Command({0x00, 0xB0, 0x00, 0x00, 0x10}), ElementsAre(0x69, 0x82));
  EXPECT_THAT(Command(verify, wrong), ElementsAre(0x20, 0x63, 0xC2));
  EXPECT_THAT(Command({0x00, 0x20, 0x00, 0x01, 0x00}), ElementsAre(0x20, 0x63, 0xC2));
  EXPECT_THAT(Command(verify, pin), ElementsAre(0x20, 0x90, 0x00));
  EXPECT_THAT(Command({0x00, 0x20, 0x00, 0x01, 0x00}), ElementsAre(0x20, 0x90, 0x00));
  EXPECT_EQ(Command({0x00, 0xB0, 0x00, 0x00, 0x10}).size(), 19u);
  EXPECT_THAT(Command({0x00, 0x20, 0x00, 0x02, 0x08}), ElementsAre(0x6A, 0x88));

  EXPECT_THAT(Command(verify, wrong), ElementsAre(0x20, 0x63, 0xC2));
  EXPECT_THAT(Command(verify, wrong), ElementsAre(0x20, 0x63, 0xC1));
  EXPECT_THAT(Command(verify, wrong), ElementsAre(0x20, 0x63, 0xC0));
  EXPECT_THAT(Command(verify, pin), ElementsAre(0x20, 0x69, 0x83));
  EXPECT_THAT(Command({0x00, 0xB0, 0x00, 0x00, 0x10}), ElementsAre(0x69, 0x82));
}

TEST_F(DemoCardTest, ChallengesDifferButRepeatAfterReset) {
  Reset();
  const Bytes first = Command({0x00, 0x84, 0x00, 0x00, 0x08});
  ASSERT_EQ(first.size(), 11u);
  EXPECT_EQ(first[0], 0x84);
  EXPECT_THAT(Bytes(first.end() - 2, first.end()), ElementsAre(0x90, 0x00));
  EXPECT_NE(Command({0x00, 0x84, 0x00, 0x00, 0x08}), first);
  Reset();
  EXPECT_EQ(Command({0x00, 0x84, 0x00, 0x00, 0x08}), first);
}

TEST_F(DemoCardTest, RefusesFramesALineCannotRun) {
  LineSettings line;
  line.dataBits = 8;
  line.stopBits = StopBits::OnePointFive;
  EXPECT_FALSE(card.SetLineSettings(line));
}

// DEMF: TA1 96 (Fi=512, Di=32), T=0 and T=15 with their TCK, its rate by the reader's clock.
class FastDemoCardTest : public BuiltInCardTest<DemoCardModel::kFast> {
 protected:
  // Writes bytes and returns what the card sent after their echo within a second.
  Bytes Send(const Bytes& bytes) {
    card.Write(bytes.data(), bytes.size());
    clock.Advance(milliseconds(1000));
    const Bytes got = ReadAll();
    return Bytes(got.begin() + static_cast<std::ptrdiff_t>(bytes.size()), got.end());
  }
};

TEST_F(FastDemoCardTest, AnswersResetWithTa1AndACorrectCheckByte) {
  const Bytes atr = Reset();
  EXPECT_EQ(atr, testing::HexBytes("3B 9C 96 80 1F 03 51 55 4F 52 56 45 4C 20 46 41 53 54 F0"));
  const AtrDescription decoded = DecodeAtr(atr);
  EXPECT_TRUE(decoded.complete);
  EXPECT_EQ(decoded.check, AtrCheck::kCorrect);
  EXPECT_EQ(decoded.protocols, (1u << 0) | (1u << 15));
}

// ISO/IEC 7816-3: a PPS request only first after the ATR; an erroneous one, or one for a
// protocol the card lacks, gets no answer.
TEST_F(FastDemoCardTest, AnswersPpsRequestsAsARealCardDoes) {
  const struct {
    const char* request;
    const char* response;
    std::uint32_t rateAfter;
  } cases[] = {
      {"FF 10 96 79", "FF 10 96 79", 223200},
      {"FF 10 11 FE", "FF 10 11 FE", 9600},
      {"FF 10 95 7A", "FF 00 FF", 9600},             // not its speed: keeps Fd, Dd
      {"FF 70 96 01 02 1A", "FF 10 96 79", 223200},  // PPS2 and PPS3 left out
      {"FF 00 FF", "FF 00 FF", 9600},
      {"FF 10 96 78", "", 0},  // wrong PCK
      {"FF 11 96 78", "", 0},  // T=1
      {"FF 90 96 F9", "", 0},  // reserved bit 8
  };
  for (const auto& c : cases) {
    SetRate(9600);
    Reset();
    EXPECT_EQ(Send(testing::HexBytes(c.request)), testing::HexBytes(c.response)) << c.request;
    if (c.rateAfter == 0) {
      // Silent until the next reset, at every rate.
      EXPECT_THAT(Send({0x00, 0x84, 0x00, 0x00, 0x08}), IsEmpty()) << c.request;
      SetRate(223200);
      EXPECT_THAT(Send({0x00, 0x84, 0x00, 0x00, 0x08}), IsEmpty()) << c.request;
      continue;
    }
    SetRate(c.rateAfter == 9600 ? 223200 : 9600);  // the old rate, or a wrong one
    EXPECT_THAT(Send({0x00, 0x84, 0x00, 0x00, 0x08}), IsEmpty()) << c.request;
    SetRate(c.rateAfter);
    EXPECT_EQ(Send({0x00, 0x84, 0x00, 0x00, 0x08}).size(), 11u) << c.request;
  }
}

TEST_F(FastDemoCardTest, APpsRequestAfterACommandIsAClassItDoesNotKnow) {
  Reset();
  EXPECT_EQ(Send({0x00, 0x84, 0x00, 0x00, 0x08}).size(), 11u);
  EXPECT_THAT(Send({0xFF, 0x10, 0x96, 0x79, 0x00}), ElementsAre(0x6E, 0x00));
}

TEST_F(FastDemoCardTest, SpeaksTwelveEtuACharacterAtTheNegotiatedRate) {
  Reset();
  Send(testing::HexBytes("FF 10 96 79"));
  SetRate(223200);
  const Bytes header = {0x00, 0x84, 0x00, 0x00, 0x08};
  card.Write(header.data(), header.size());
  // 12 etu of 512 / (32 x 3.5712 MHz): 53.763 us, for the echo at 8E2 and the card alike.
  clock.Advance(nanoseconds(6 * 53'763 - 1));
  EXPECT_EQ(ReadAll().size(), 5u);
  clock.Advance(nanoseconds(1));
  EXPECT_THAT(ReadAll(), ElementsAre(0x84));
  clock.Advance(nanoseconds(10 * 53'763));
  EXPECT_EQ(ReadAll().size(), 10u);  // the challenge and 90 00
}

TEST(FastDemoCardClockTest, ItsRatesFollowTheReadersClock) {
  testing::FakeClock clock;
  DemoCard card(clock, DemoCardModel::kFast, 6'000'000);
  for (auto [baud, heard] : {std::pair{9600u, false}, std::pair{16129u, true}}) {
    LineSettings line{.baudRate = baud, .parity = Parity::Even, .stopBits = StopBits::Two};
    line.rtsControl = RtsControl::Disable;
    ASSERT_TRUE(card.SetLineSettings(line));
    card.SetRts(true);
    card.SetRts(false);
    clock.Advance(milliseconds(250));
    std::uint8_t atr[64];
    EXPECT_EQ(card.Read(atr, sizeof atr), heard ? 19u : 0u) << baud;
  }
}

}  // namespace
}  // namespace quorvel
