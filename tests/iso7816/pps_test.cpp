#include "iso7816/pps.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/hex_bytes.h"

namespace quorvel {
namespace {

using std::chrono::microseconds;
using testing::HexBytes;
using Mode = AtrSpeedMode;

// ISO/IEC 7816-3: TA1 (Fi, Di), TD1 (first protocol, T=0 without it), TA2 (specific mode,
// bit 5 = implicit values), TC2 (WI for T=0, 10 without it; 00 is reserved).
TEST(PpsTest, ReadsWhatTheAtrAsksForItsSpeed) {
  const struct {
    const char* atr;
    Mode mode;
    std::uint8_t fiDi;
    std::uint8_t firstProtocol;
    std::uint8_t wi;
  } cases[] = {
      {"", Mode::kNoAtr, 0x11, 0, 10},
      {"3B 9C 96", Mode::kNoAtr, 0x11, 0, 10},  // cut short
      {"03 10 96", Mode::kNoAtr, 0x11, 0, 10},  // no TS
      {"3B 6C 00 00 51 55 4F 52 56 45 4C 20 44 45 4D 4F", Mode::kDefault, 0x11, 0, 10},
      {"3B 10 11", Mode::kDefault, 0x11, 0, 10},
      {"3B 10 01", Mode::kDefault, 0x01, 0, 10},
      {"3B 16 94 71 01 01 00 27 00", Mode::kNegotiable, 0x94, 0, 10},
      {"3B 9C 96 80 1F 03 51 55 4F 52 56 45 4C 20 46 41 53 54 F0", Mode::kNegotiable, 0x96, 0, 10},
      {"3B 90 96 81 00 87", Mode::kNegotiable, 0x96, 1, 10},  // T=1 first, T=0 too
      {"3B 90 96 01 07", Mode::kNegotiable, 0x96, 1, 10},     // T=1 alone
      {"3B 10 71", Mode::kReservedValues, 0x71, 0, 10},
      {"3B 10 9A", Mode::kReservedValues, 0x9A, 0, 10},
      {"3B 90 96 10 00", Mode::kSpecificTa1, 0x96, 0, 10},
      {"3B 90 96 10 80", Mode::kSpecificTa1, 0x96, 0, 10},  // cannot change: the same here
      {"3B 90 96 10 10", Mode::kSpecificImplicit, 0x96, 0, 10},
      {"3B 80 10 00", Mode::kDefault, 0x11, 0, 10},  // TA2 without TA1: Fd, Dd
      {"3B 90 95 40 14", Mode::kNegotiable, 0x95, 0, 20},
      {"3B 90 95 40 00", Mode::kNegotiable, 0x95, 0, 10},
  };
  for (const auto& c : cases) {
    const AtrSpeedOffer offer = ReadSpeedOffer(HexBytes(c.atr));
    EXPECT_EQ(offer.mode, c.mode) << c.atr;
    EXPECT_EQ(offer.fiDi, c.fiDi) << c.atr;
    EXPECT_EQ(offer.firstProtocol, c.firstProtocol) << c.atr;
    EXPECT_EQ(offer.waitingInteger, c.wi) << c.atr;
  }
}

// WT = 960 x WI x Fi / f with Fi = Fd = 372 before any PPS.
TEST(PpsTest, TheInitialWaitingTimeFollowsWiAndTheClock) {
  EXPECT_EQ(InitialWaitingTime(10, 3'571'200), microseconds(1'000'000));
  EXPECT_EQ(InitialWaitingTime(10, 3'579'545), microseconds(997'669));
  EXPECT_EQ(InitialWaitingTime(1, 6'000'000), microseconds(59'520));
  EXPECT_EQ(InitialWaitingTime(0, 3'571'200), microseconds(1'000'000));
  EXPECT_EQ(InitialWaitingTime(255, 1'000'000), microseconds(91'065'600));
}

// PPSS FF, PPS0 = 10 | T (PPS1 follows), PPS1, PCK: the XOR of all four is 00.
TEST(PpsTest, BuildsTheRequestAndKnowsAMessagesLength) {
  EXPECT_THAT(MakePpsRequest(0, 0x96), ::testing::ElementsAre(0xFF, 0x10, 0x96, 0x79));
  EXPECT_THAT(MakePpsRequest(0, 0x11), ::testing::ElementsAre(0xFF, 0x10, 0x11, 0xFE));
  EXPECT_THAT(MakePpsRequest(1, 0x95), ::testing::ElementsAre(0xFF, 0x11, 0x95, 0x7B));
  const std::pair<std::uint8_t, unsigned> lengths[] = {{0x00, 3}, {0x10, 4}, {0x20, 4}, {0x30, 5},
                                                       {0x70, 6}, {0xF1, 6}, {0x80, 3}};
  for (auto [pps0, length] : lengths) EXPECT_EQ(PpsLength(pps0), length) << int(pps0);
}

// ISO/IEC 7816-3 9.2: PPS0 names the protocol; without PPS1 the request is PPSS, PPS0, PCK
// and selects the protocol alone, Fd and Dd staying.
TEST(PpsTest, ARequestForTheProtocolAloneIsThreeBytesAndJudgedWhole) {
  const PpsRequest t1 = MakePpsRequest(1);
  EXPECT_THAT(t1, ::testing::ElementsAre(0xFF, 0x01, 0xFE, 0x00));
  EXPECT_EQ(PpsRequestLength(t1), 3u);
  EXPECT_EQ(PpsRequestLength(MakePpsRequest(0, 0x96)), 4u);
  const std::pair<const char*, PpsVerdict> cases[] = {
      {"FF 01 FE", PpsVerdict::kAccepted},
      {"FF 00 FF", PpsVerdict::kRefused},  // the card stays in T=0
      {"FF 01", PpsVerdict::kCutShort},
  };
  for (auto [response, verdict] : cases) {
    EXPECT_EQ(JudgePpsResponse(t1, HexBytes(response)), verdict) << response;
  }
  const std::vector<AtrItem> items = ExplainPps(t1, HexBytes("FF 01 FE FF 01 FE"), 3'571'200);
  EXPECT_EQ(items.front().text,
            "Echo FF 01 FE: the PPS request, asking for T=1 alone, Fi=372, Di=1 kept");
  EXPECT_EQ(items.back().text,
            "The response equals the request: the card now speaks T=1 alone, Fi=372, Di=1 kept");
}

// ISO/IEC 7816-3, successful PPS exchange: PPS0's protocol and PPS1 echoed, or PPS1 left out
// (bit 5 = 0) for Fd and Dd; anything else fails.
TEST(PpsTest, JudgesTheCardsResponse) {
  const PpsRequest request = MakePpsRequest(0, 0x96);
  const std::pair<const char*, PpsVerdict> cases[] = {
      {"FF 10 96 79", PpsVerdict::kAccepted},
      {"FF 00 FF", PpsVerdict::kKeptDefault},
      {"", PpsVerdict::kNoAnswer},
      {"FF", PpsVerdict::kCutShort},
      {"FF 10 96", PpsVerdict::kCutShort},
      {"FF 10 96 78", PpsVerdict::kWrongCheck},
      {"FF 00 FE", PpsVerdict::kWrongCheck},
      {"FF 10 95 7A", PpsVerdict::kRefused},
      {"FF 11 96 78", PpsVerdict::kRefused},
      {"FF 01 FE", PpsVerdict::kRefused},
      {"FF 30 96 00 59", PpsVerdict::kRefused},
      {"FF 80 7F", PpsVerdict::kRefused},
      {"6D 00", PpsVerdict::kRefused},
      {"FF 10 96 79 90", PpsVerdict::kAccepted},
  };
  for (auto [response, verdict] : cases) {
    EXPECT_EQ(JudgePpsResponse(request, HexBytes(response)), verdict) << response;
  }
}

TEST(PpsTest, ExplainsTheEchoAndTheResponseByteByByte) {
  const PpsRequest request = MakePpsRequest(0, 0x96);
  const std::string echo = "Echo FF 10 96 79: the PPS request, asking for T=0 with Fi=512, Di=32";
  const std::string failed = "The PPS exchange failed: ";
  const struct {
    const char* received;
    std::uint32_t clock;
    std::vector<std::string> lines;
  } cases[] = {
      {"FF 10 96 79 FF 10 96 79",
       3'571'200,
       {echo, "PPSS FF: the card's PPS response", "PPS0 10: T=0; PPS1 follows",
        "PPS1 96: Fi=512, Di=32: 223200 baud at 3.5712 MHz",
        "PCK 79: correct: the XOR of PPSS through PCK is 00",
        "The response equals the request: the card now speaks T=0 with Fi=512, Di=32"}},
      {"FF 10 96 79 FF 00 FF",
       3'579'545,
       {echo, "PPSS FF: the card's PPS response",
        "PPS0 00: T=0; no PPS1: the card keeps Fi=372, Di=1",
        "PCK FF: correct: the XOR of PPSS through PCK is 00",
        "The response leaves PPS1 out: the card keeps Fi=372, Di=1"}},
      {"FF 10 96 79 FF 31 11 00 DF",
       6'000'000,
       {echo, "PPSS FF: the card's PPS response",
        "PPS0 31: T=1 (the request asked for T=0); PPS1 and PPS2 follow",
        "PPS1 11: Fi=372, Di=1: 16129 baud at 6 MHz; the request asked for 96",
        "PPS2 00: not asked for by the request",
        "PCK DF: correct: the XOR of PPSS through PCK is 00",
        failed + "the card refused the PPS request; the card must be reset"}},
      {"FF 10 96 79 FF 10 96 78",
       3'571'200,
       {echo, "PPSS FF: the card's PPS response", "PPS0 10: T=0; PPS1 follows",
        "PPS1 96: Fi=512, Di=32: 223200 baud at 3.5712 MHz",
        "PCK 78: wrong: the XOR of PPSS through PCK is 01, not 00; the right PCK is 79",
        failed + "the PCK of the card's PPS response is wrong; the card must be reset"}},
      {"FF 10 96 79 FF 90",
       3'571'200,
       {echo, "PPSS FF: the card's PPS response",
        "PPS0 90: T=0; PPS1 follows; bit 8 is reserved but set",
        "The PPS response ends after PPS0: PPS1 and PCK are missing",
        failed + "the card's PPS response was cut short; the card must be reset"}},
      {"FF 10 96 79 FF",
       3'571'200,
       {echo, "PPSS FF: the card's PPS response",
        "The PPS response ends after PPSS: PPS0 and the bytes it announces are missing",
        failed + "the card's PPS response was cut short; the card must be reset"}},
      {"FF 10 96 79 6D 00",
       3'571'200,
       {echo, "PPSS 6D: not a PPS response, which starts with FF",
        "The other bytes are not decoded: without PPSS there is no PPS response",
        failed + "the card refused the PPS request; the card must be reset"}},
      {"FF 10 96 79",
       3'571'200,
       {echo, "No PPS response: the card sent nothing after the echo",
        failed + "the card did not answer the PPS request; the card must be reset"}},
      {"FF 10",
       3'571'200,
       {"Echo FF 10: 2 of the 4 bytes of the PPS request FF 10 96 79",
        "No PPS response: the card sent nothing after the echo",
        failed + "the card did not answer the PPS request; the card must be reset"}},
      {"FF 10 96 7A",
       3'571'200,
       {"Echo FF 10 96 7A: not the PPS request FF 10 96 79 that was sent",
        "No PPS response: the card sent nothing after the echo",
        failed + "the card did not answer the PPS request; the card must be reset"}},
      {"", 3'571'200, {"No PPS bytes: neither the request's echo nor a response came"}},
  };
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> received = HexBytes(c.received);
    const std::vector<AtrItem> items = ExplainPps(request, received, c.clock);
    std::vector<std::string> lines;
    for (const AtrItem& item : items) {
      lines.push_back(item.text);
      EXPECT_LE(item.offset + item.length, received.size()) << item.text;
    }
    EXPECT_EQ(lines, c.lines) << c.received;
  }
}

}  // namespace
}  // namespace quorvel
