// The serial channel in T=1 over a fake line whose far end plays a card: the faults a real
// line brings, each bounded and told, and the card's protocol settled after every Reset.
#include "card/serial_channel.h"

#include <atomic>
#include <deque>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "card/paced_reader.h"
#include "iso7816/t1_block.h"
#include "support/card_commands.h"
#include "support/fake_serial_device.h"
#include "support/hex_bytes.h"
#include "support/session_rig.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;
using ::testing::Contains;
using ::testing::HasSubstr;
using testing::HexBytes;

constexpr const char* kSettings = "COM2: baud=9600 parity=E data=8 stop=2";

Bytes Encoded(const T1Block& block) {
  return EncodeT1Block(block, T1Edc::kLrc);
}

// The far end of the line: the reader's echo, and a card that answers every reset pulse with
// its ATR, a PPS request with `ppsAnswer` (nothing when empty), S(IFS request) as asked, and
// every other block with the next of `replies` (nothing once they have run out). A card that
// `speaksT0` takes every five bytes as a header and refuses it with 6D 00.
class LineCard {
 public:
  LineCard(testing::FakeClock& clock, testing::FakeLine& line, Bytes atr) : atr_(std::move(atr)) {
    line.echo = true;
    clock.beforeWait = [&line, this](milliseconds wait) {
      if (wait == milliseconds(50) && !line.rtsChanges.empty() && line.rtsChanges.back().first) {
        rx_.clear();
        line.Arrive(atr_, milliseconds(60));
      }
    };
    line.card = [this](testing::FakeLine& l, const Bytes& written) { Take(l, written); };
  }

  Bytes ppsAnswer;
  bool speaksT0 = false;
  std::deque<Bytes> replies;
  std::atomic<bool>* stopWhenABlockComes = nullptr;

 private:
  void Take(testing::FakeLine& line, const Bytes& written) {
    rx_.insert(rx_.end(), written.begin(), written.end());
    const auto answer = [&](const Bytes& bytes) {
      rx_.clear();
      if (!bytes.empty()) line.Arrive(bytes, milliseconds(2));
    };
    if (rx_[0] == 0xFF) {
      if (rx_.size() >= 2 && rx_.size() == PpsLength(rx_[1])) answer(ppsAnswer);
      return;
    }
    if (speaksT0) {
      if (rx_.size() >= 5) answer(HexBytes("6D 00"));
      return;
    }
    if (rx_.size() < kT1PrologueLength || rx_.size() < kT1PrologueLength + rx_[2] + 1u) return;
    const T1Block block = DecodeT1Block(rx_, T1Edc::kLrc).block;
    if (block.kind() == T1BlockKind::kSupervisory && block.type() == T1SType::kIfs) {
      return answer(Encoded(MakeSBlock(T1SType::kIfs, true, block.information)));
    }
    if (stopWhenABlockComes != nullptr) *stopWhenABlockComes = true;
    if (replies.empty()) return answer({});
    const Bytes next = replies.front();
    replies.pop_front();
    answer(next);
  }

  static std::size_t PpsLength(std::uint8_t pps0) {
    return 3 + ((pps0 >> 4) & 1) + ((pps0 >> 5) & 1) + ((pps0 >> 6) & 1);
  }

  Bytes atr_;
  Bytes rx_;
};

class SerialChannelT1Test : public ::testing::Test {
 protected:
  std::string LastExplanation() {
    return rig.output.ExplainRow(static_cast<int>(rig.rows.entries.size()) - 1);
  }
  int Read() {
    return rig.session.Execute(testing::MakeCommand({0x00, 0xB0, 0x00, 0x00, 0x02}, kFromCard));
  }

  testing::FakeClock clock;
  testing::FakeLine line{clock};
  testing::FakeDeviceFactory devices{line};
  testing::SessionRig rig{devices, clock};
};

const Bytes kAnswer = Encoded(MakeIBlock(0, false, HexBytes("01 02 90 00")));
// T=1 only, TA1 96 for PPS, with the TCK right.
const Bytes kT1Only = HexBytes("3B 90 96 01 07");

// Whatever comes in place of the card's block, the exchange asks again, and a right block
// then completes it; a card that stays wrong is resynchronised or needs a Reset. No case
// waits longer than its block and character waiting times allow.
TEST_F(SerialChannelT1Test, FaultsOnTheLineAreRecoveredFromOrFailCleanly) {
  const struct {
    const char* name;
    std::vector<Bytes> replies;
    const char* meaning;            // a block of the exchange, as explained
    const char* failure = nullptr;  // none: the command completed
  } cases[] = {
      {"garbage, cut short", {HexBytes("12 34 56 78"), kAnswer}, "a block that broke off after"},
      {"a block with a reserved PCB",
       {HexBytes("00 F0 00 F0"), kAnswer},
       "R-block N(R)=0, other error: asks for the card's block again after a block that is none"},
      {"LEN FF, then noise",
       {HexBytes("00 00 FF 01 02 03 04"), kAnswer},
       "LEN FF, which is invalid"},
      {"NAD other than 00",
       {Encoded([] {
          T1Block b = MakeIBlock(0, false, HexBytes("90 00"));
          b.nad = 0x21;
          return b;
        }()),
        kAnswer},
       "a block with NAD 21 where 00 was due"},
      {"a wrong N(S)",
       {Encoded(MakeIBlock(1, false, HexBytes("90 00"))), kAnswer},
       "N(S)=1 where N(S)=0 was due"},
      {"garbage every time",
       {HexBytes("12"), HexBytes("12"), HexBytes("12")},
       "S(RESYNCH request)",
       "the card needs a Reset"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LineCard card(clock, line, kT1Only);
    rig.session.Reset(kSettings, kSettings);
    card.replies.assign(c.replies.begin(), c.replies.end());
    const auto start = clock.Now();
    EXPECT_EQ(Read(), c.failure == nullptr ? 1 : 0);
    std::vector<std::string> meanings;
    for (const ExchangeBlock& block : rig.session.lastExchange().blocks)
      meanings.push_back(block.meaning);
    EXPECT_THAT(meanings, Contains(HasSubstr(c.meaning)));
    if (c.failure != nullptr) {
      EXPECT_THAT(rig.session.lastExchange().failure, HasSubstr(c.failure));
    }
    // Default BWI 4 and CWI 13: six waits of BWT or a cut-off block's CWT at the most.
    const T1Times times = T1TimesAt(T1Parameters{}, kDefaultReaderClockHz, 9600);
    EXPECT_LT(clock.Now() - start, 6 * (times.blockWaiting + kSerialAdapterMargin));
  }
}

TEST_F(SerialChannelT1Test, ACardThatDropsToT0AfterPpsSaidT1GetsNoCommand) {
  // T=0 first, then T=1: proto=t1 selects T=1 with FF 01 FE, which the card takes.
  LineCard card(clock, line, HexBytes("3B 90 96 80 01 87"));
  card.ppsAnswer = HexBytes("FF 01 FE");
  card.speaksT0 = true;
  rig.session.Reset("COM2: baud=9600 parity=E data=8 stop=2 proto=t1", kSettings);
  EXPECT_EQ(rig.session.lastSpeed().outcome, SpeedOutcome::kAccepted);
  EXPECT_THAT(rig.session.lastSpeed().note,
              HasSubstr("(6D 00, a T=0 status word: does the card speak T=1?)"));
  EXPECT_THAT(rig.session.lastSpeed().note, HasSubstr("the card needs a Reset"));
  line.writes.clear();
  EXPECT_EQ(Read(), 0);
  EXPECT_TRUE(line.writes.empty());
  EXPECT_THAT(LastExplanation(),
              HasSubstr("Nothing was sent, as an earlier command left the card needing a Reset."));
}

TEST_F(SerialChannelT1Test, AnAtrWithAWrongTckGetsNoPpsAndIsSpokenT1At9600) {
  LineCard card(clock, line, HexBytes("3B 90 96 01 08"));
  card.ppsAnswer = HexBytes("FF 11 96 78");
  card.replies = {kAnswer};
  rig.session.SetSpeedNegotiation(true);
  rig.session.Reset(kSettings, kSettings);
  EXPECT_EQ(rig.session.lastSpeed().note,
            "No PPS: the ATR's TCK is wrong; the line stays at 9600 baud; protocol T=1; IFSD 254 "
            "announced");
  ASSERT_FALSE(line.writes.empty());
  EXPECT_EQ(line.writes.front(), HexBytes("00 C1 01 FE 3E"));  // S(IFS request), no PPS
  EXPECT_EQ(Read(), 1);
}

TEST_F(SerialChannelT1Test, ACardResetAgainAfterAFailedPpsSpeaksItsFirstProtocol) {
  // T=1 first, then T=0: without proto= Quorvel asks for T=0, which this card never answers.
  LineCard card(clock, line, HexBytes("3B 90 96 81 00 87"));
  card.replies = {kAnswer};
  rig.session.SetSpeedNegotiation(true);
  rig.session.Reset(kSettings, kSettings);
  EXPECT_TRUE(rig.session.lastSpeed().resetAgain);
  ASSERT_EQ(rig.session.lastRounds().size(), 2u);
  EXPECT_EQ(rig.session.lastRounds().back().protocol, CardProtocol::kT1);
  // The second ATR, then the S(IFS) exchange: one row a block, explained as the set-up.
  const auto& rows = rig.rows.entries;
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[rows.size() - 2], "00 C1 01 FE 3E ");
  EXPECT_EQ(rows.back(), "00 E1 01 FE 1E ");
  EXPECT_THAT(LastExplanation(), HasSubstr("Setting T=1 up after the ATR: a block from the card"));
  EXPECT_EQ(Read(), 1);
  EXPECT_EQ(line.writes.back(), Encoded(MakeIBlock(0, false, HexBytes("00 B0 00 00 02"))));
}

TEST_F(SerialChannelT1Test, StopEndsAWaitForABlockSoonAndKeepsWhatCame) {
  std::atomic<bool> stop = false;
  rig.session.SetStopFlag(&stop);
  LineCard card(clock, line, kT1Only);
  rig.session.Reset(kSettings, kSettings);
  card.stopWhenABlockComes = &stop;  // the user presses Stop while the card is silent
  const auto start = clock.Now();
  EXPECT_EQ(Read(), 0);
  EXPECT_LT(clock.Now() - start, PacedReader::kStopPoll + milliseconds(20));
  EXPECT_THAT(rig.session.lastExchange().failure, HasSubstr("Stopped"));
  // The echo of the block sent is shown and counted.
  EXPECT_EQ(rig.rows.entries.back(), "00 00 05 00 B0 00 00 02 B7 ");
}

}  // namespace
}  // namespace quorvel
