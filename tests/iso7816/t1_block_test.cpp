#include "iso7816/t1_block.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "iso7816/command_apdu.h"
#include "iso7816/t1_parameters.h"
#include "iso7816/waiting_times.h"
#include "support/hex_bytes.h"

namespace quorvel {
namespace {

using std::chrono::nanoseconds;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using testing::HexBytes;

std::vector<std::uint8_t> Text(const std::string& text) {
  return {text.begin(), text.end()};
}

TEST(ErrorDetectionCode, KnownValues) {
  // LRC: the S(IFS) exchange of ISO/IEC 7816-3 Annex A. CRC: the check value of CRC-16/IBM-SDLC
  // the FCS of ISO/IEC 13239, in the catalogue of parametrised CRC algorithms
  // (reveng.sourceforge.io), and RFC 1662 appendix C: the FCS computed over a frame followed
  // by its own FCS (low byte first) leaves the complement of the good value F0B8.
  EXPECT_EQ(Lrc(HexBytes("00 C1 01 FE")), 0x3E);
  EXPECT_EQ(Lrc(HexBytes("00 E1 01 FE")), 0x1E);
  EXPECT_EQ(Lrc({}), 0x00);
  EXPECT_EQ(Crc13239(Text("123456789")), 0x906E);
  EXPECT_EQ(Crc13239({}), 0x0000);
  EXPECT_EQ(Crc13239(HexBytes("31 32 33 34 35 36 37 38 39 6E 90")), 0x0F47);
  EXPECT_THAT(EdcOf(T1Edc::kCrc, Text("123456789")), ElementsAreArray({0x6E, 0x90}));
  EXPECT_THAT(EncodeT1Block(MakeSBlock(T1SType::kIfs, false, HexBytes("FE")), T1Edc::kLrc),
              ElementsAreArray(HexBytes("00 C1 01 FE 3E")));
}

TEST(T1Block, PcbCodings) {
  struct Case {
    T1Block block;
    std::uint8_t pcb;
    const char* meaning;
  };
  const std::vector<std::uint8_t> four = HexBytes("00 B0 00 00");
  const Case cases[] = {
      {MakeIBlock(0, false, four), 0x00, "I-block N(S)=0, 4 bytes of the command"},
      {MakeIBlock(1, true, four), 0x60, "I-block N(S)=1, more follows, 4 bytes of the command"},
      {MakeRBlock(1, T1RError::kNone), 0x90, "R-block N(R)=1"},
      {MakeRBlock(0, T1RError::kEdcOrParity), 0x81, "R-block N(R)=0, EDC or parity error"},
      {MakeRBlock(1, T1RError::kOther), 0x92, "R-block N(R)=1, other error"},
      {MakeSBlock(T1SType::kResynch, false), 0xC0, "S(RESYNCH request)"},
      {MakeSBlock(T1SType::kIfs, true, HexBytes("20")), 0xE1, "S(IFS response) IFS=32"},
      {MakeSBlock(T1SType::kAbort, false), 0xC2, "S(ABORT request)"},
      {MakeSBlock(T1SType::kWtx, false, HexBytes("03")), 0xC3, "S(WTX request) x3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.block.pcb, c.pcb) << c.meaning;
    EXPECT_EQ(DescribeT1Block(c.block, false), c.meaning);
    const T1Decoded decoded = DecodeT1Block(EncodeT1Block(c.block, T1Edc::kCrc), T1Edc::kCrc);
    EXPECT_EQ(decoded.verdict, T1Verdict::kValid) << c.meaning;
    EXPECT_EQ(decoded.block.pcb, c.pcb);
  }
}

TEST(T1Block, DecodingIsStrict) {
  struct Case {
    const char* bytes;
    T1Verdict verdict;
    const char* explanation;
  };
  const Case cases[] = {
      {"00 40 02 90 00 D2", T1Verdict::kValid, "I-block N(S)=1, 2 bytes of the answer; LRC right"},
      {"00 40 02 90 00 D3", T1Verdict::kWrongEdc, "LRC wrong: D3 came, D2 is right"},
      {"00 40 02 90 00", T1Verdict::kCutShort, "not a block: 5 bytes of the 6 its LEN announces"},
      {"00 40", T1Verdict::kCutShort, "not a block: 2 bytes"},
      {"00 40 02 90 00 D2 00", T1Verdict::kTooLong, "more than the 6 its LEN announces"},
      {"00 00 FF", T1Verdict::kInvalidLength, "LEN FF is invalid"},
      {"00 01 00 01", T1Verdict::kReservedPcb, "PCB 01 has a reserved coding"},
      {"00 A0 00 A0", T1Verdict::kReservedPcb, "PCB A0 has a reserved coding"},
      {"00 83 00 83", T1Verdict::kReservedPcb, "reserved"},
      {"00 C4 00 C4", T1Verdict::kReservedPcb, "reserved"},
      {"00 80 01 00 81", T1Verdict::kWrongInformation, "does not fit its kind"},
      {"00 C1 01 FF 3F", T1Verdict::kWrongInformation,
       "S(IFS request) IFS=255; LRC right; its information field does not fit"},
      {"00 C1 00 C1", T1Verdict::kWrongInformation, "does not fit"},
      {"00 C3 01 00 C2", T1Verdict::kWrongInformation, "does not fit"},
      {"00 C0 01 00 C1", T1Verdict::kWrongInformation, "does not fit"},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> bytes = HexBytes(c.bytes);
    EXPECT_EQ(DecodeT1Block(bytes, T1Edc::kLrc).verdict, c.verdict) << c.bytes;
    EXPECT_THAT(ExplainReceivedT1Block(bytes, T1Edc::kLrc), HasSubstr(c.explanation)) << c.bytes;
  }
  // The CRC is checked whole, high byte shown first.
  EXPECT_THAT(ExplainReceivedT1Block(HexBytes("00 00 00 00 00"), T1Edc::kCrc),
              HasSubstr("CRC wrong: 0000 came, C6CC is right"));
}

TEST(T1Parameters, ReadFromTheFirstT1InterfaceBytes) {
  struct Case {
    const char* atr;
    unsigned ifsc, bwi, cwi;
    T1Edc edc;
    std::uint8_t guard;
    bool offersT1;
  };
  const Case cases[] = {
      // T=0 only: the defaults.
      {"3B 6C 00 00", 32, 4, 13, T1Edc::kLrc, 0, false},
      // TD1 81, TD2 31: TA3 IFSC 20 and TB3 BWI 4, CWI 5 (DEM1).
      {"3B 9C 96 81 31 20 45", 32, 4, 5, T1Edc::kLrc, 0, true},
      // TC1 FF, TD1 81, TD2 B1: TA3 FE, TB3 75, TD3 1F names T=15; TC of T=15 ignored.
      {"3B DA 18 FF 81 B1 FE 75 1F 03", 254, 7, 5, T1Edc::kLrc, 255, true},
      // TC3 01 asks for the CRC; TA2 after TD1 = T=1 is TA2, not T=1's.
      {"3B 80 91 71 41 01", 32, 4, 13, T1Edc::kCrc, 0, true},
      // Reserved values keep the defaults: IFSC 00, BWI A.
      {"3B 80 81 31 00 A2", 32, 4, 13, T1Edc::kLrc, 0, true},
      // The second set of T=1 bytes is not the first.
      {"3B 80 81 91 40 11 10", 64, 4, 13, T1Edc::kLrc, 0, true},
  };
  for (const Case& c : cases) {
    const T1Parameters p = ReadT1Parameters(HexBytes(c.atr));
    EXPECT_EQ(p.ifsc, c.ifsc) << c.atr;
    EXPECT_EQ(p.bwi, c.bwi) << c.atr;
    EXPECT_EQ(p.cwi, c.cwi) << c.atr;
    EXPECT_EQ(p.edc, c.edc) << c.atr;
    EXPECT_EQ(p.extraGuardTime, c.guard) << c.atr;
    EXPECT_EQ(p.offersT1, c.offersT1) << c.atr;
  }
}

TEST(WaitingTimes, AtTheReadersClockAndTheLinesRate) {
  T1Parameters p;
  // 3.5712 MHz, 9600 baud: an etu of 104,167 ns (rounded up); BWT 11 etu + 1.6 s.
  T1Times t = T1TimesAt(p, 3'571'200, 9600);
  EXPECT_EQ(t.etu, nanoseconds(104'167));
  EXPECT_EQ(t.blockGuard, nanoseconds(2'291'667));
  EXPECT_EQ(t.characterGuard, nanoseconds(1'250'000));
  EXPECT_EQ(t.blockWaiting, nanoseconds(1'145'834 + 1'600'000'000));
  EXPECT_EQ(t.characterWaiting, nanoseconds((11 + 8192) * 1'000'000'000ll / 9600 + 1));
  // After PPS to 223200 baud BWT keeps its clock cycles; the etu parts shrink. N=255: 11 etu.
  p.bwi = 0;
  p.cwi = 0;
  p.extraGuardTime = 255;
  t = T1TimesAt(p, 3'571'200, 223'200);
  EXPECT_EQ(t.blockWaiting, nanoseconds(49'284 + 100'000'000));
  EXPECT_EQ(t.characterWaiting, nanoseconds(53'764));
  EXPECT_EQ(t.characterGuard, nanoseconds(49'284));
  p.extraGuardTime = 2;
  EXPECT_EQ(T1TimesAt(p, 3'571'200, 9600).characterGuard, nanoseconds(1'458'334));
  // T=0: WT = 960 x WI x Fi / f, one second with the defaults.
  EXPECT_EQ(T0WorkWaitingTime(10, 372, 3'571'200), nanoseconds(1'000'000'000));
  EXPECT_EQ(T0WorkWaitingTime(1, 512, 3'571'200), nanoseconds(137'634'409));
}

TEST(CommandApdu, ByCase) {
  struct Case {
    const char* header;
    bool toCard;
    std::optional<std::uint16_t> le;
    ApduCase apduCase;
    const char* bytes;
  };
  const Case cases[] = {
      {"00 A4 00 00 00", true, {}, ApduCase::k1, "00 A4 00 00"},
      {"00 B0 00 00 20", false, {}, ApduCase::k2, "00 B0 00 00 20"},
      {"00 B0 00 00 00", false, {}, ApduCase::k2, "00 B0 00 00 00"},
      {"00 84 00 00 00", true, 8, ApduCase::k2, "00 84 00 00 08"},
      {"00 A4 00 00 02", true, {}, ApduCase::k3, "00 A4 00 00 02 3F 00"},
      {"00 A4 00 00 02", true, 256, ApduCase::k4, "00 A4 00 00 02 3F 00 00"},
      {"00 A4 00 00 02", true, 9, ApduCase::k4, "00 A4 00 00 02 3F 00 09"},
  };
  const std::vector<std::uint8_t> data = HexBytes("3F 00 77");
  for (const Case& c : cases) {
    std::uint8_t header[5];
    const std::vector<std::uint8_t> h = HexBytes(c.header);
    std::copy(h.begin(), h.end(), header);
    const CommandApdu apdu = BuildCommandApdu(header, c.toCard, data, c.le);
    EXPECT_EQ(apdu.apduCase, c.apduCase) << c.bytes;
    EXPECT_THAT(apdu.bytes, ElementsAreArray(HexBytes(c.bytes)));
  }
}

}  // namespace
}  // namespace quorvel
