#include "iso7816/atr.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/hex_bytes.h"

namespace quorvel {
namespace {

using testing::HexBytes;

constexpr std::uint16_t kT0 = 1u << 0;
constexpr std::uint16_t kT1 = 1u << 1;
constexpr std::uint16_t kT15 = 1u << 15;

struct CorpusAtr {
  const char* card;
  const char* hex;
  std::size_t length;
  std::uint16_t protocols;
  AtrCheck check;
  std::size_t historical;
  std::vector<std::string> phrases;  // each must appear in the explanation
};

// Real cards' ATRs as the public lists of known cards give them.
const std::vector<CorpusAtr>& Corpus() {
  static const std::vector<CorpusAtr> corpus = {
      // T=0 only: no TCK.
      {"Schlumberger Multiflex 3k",
       "3B 02 14 50",
       4,
       kT0,
       AtrCheck::kNotNeeded,
       2,
       {"TS 3B: direct convention\n", "T0 02: Y1=0: no interface bytes follow; K=2 historical",
        "No TCK: right, as only T=0 is offered"}},
      {"Cingular GSM SIM",
       "3B 16 94 71 01 01 00 27 00",
       9,
       kT0,
       AtrCheck::kNotNeeded,
       6,
       {"TA1 94: Fi=512, Di=8, f(max)=5 MHz: 55800 baud at the usual 3.5712 MHz clock; the card "
        "starts at Fd=372, Dd=1 (9600 baud) and offers this speed by PPS (FF 10 94 7B for T=0)"}},
      {"SFR GSM SIM",
       "3B 17 94 18 01 01 02 01 41 49",
       10,
       kT0,
       AtrCheck::kNotNeeded,
       7,
       {"T0 17: Y1=1: TA1 follows; K=7 historical bytes"}},
      {"Viag Interkom GSM SIM",
       "3B BA 94 00 40 14 47 47 33 52 53 37 31 36 53 30",
       16,
       kT0,
       AtrCheck::kNotNeeded,
       10,
       {"TD1 40: T=0 offered; TC2 follows",
        "TC2 14: T=0 waiting time WI=20: the card may wait up to 2753 ms",
        "Historical bytes 47 47 33 52 53 37 31 36 53 30: \"GG3RS716S0\""}},
      {"Axalto Cyberflex Access 64K",
       "3B D5 95 04 00 AE 01 02 01 01",
       10,
       kT0,
       AtrCheck::kNotNeeded,
       5,
       {"TC1 04: extra guard time N=4: the reader leaves 16 etu",
        "TD1 00: T=0 offered; no more interface bytes follow"}},
      {"SLE 4442 memory card",
       "3B 04 A2 13 10 91",
       6,
       kT0,
       AtrCheck::kNotNeeded,
       4,
       {"A2: category indicator: proprietary"}},
      {"Sonera GSM SIM",
       "3B 0F 80 6A 16 32 46 49 53 45 53 8C E0 FF 07 90 00",
       17,
       kT0,
       AtrCheck::kNotNeeded,
       15,
       {"6A 16 32 46 49 53 45 53 8C E0 FF: pre-issuing data: 16 32",
        "07 90 00: malformed: the object announces 7 bytes but only 2 follow"}},
      {"ACS ACOS-1",
       "3B BE 11 00 00 41 01 38 00 00 00 00 00 00 00 00 01 90 00",
       19,
       kT0,
       AtrCheck::kNotNeeded,
       14,
       {"TA1 11: Fi=372, Di=1, f(max)=5 MHz: 9600 baud at the usual 3.5712 MHz clock, the "
        "default speed\n"}},
      {"Coinamatic SmartyCity",
       "3F 65 25 00 2B 09 62 90 00",
       9,
       kT0,
       AtrCheck::kNotNeeded,
       5,
       {"TS 3F: inverse convention",
        "TB1 25: programming voltage VPP 5 V, 50 mA (TB1 is deprecated; readers ignore it)"}},
      {"SNCF Carte Grand Voyageur",
       "3F 67 25 00 2A 20 00 0F 68 90 00",
       11,
       kT0,
       AtrCheck::kNotNeeded,
       7,
       {"TC1 00: extra guard time N=0: the reader leaves 12 etu from one character to the next "
        "(no extra time)"}},
      {"Nokia SIM Ph2 16K",
       "3F 2F 00 80 69 AF 03 07 01 59 00 00 0A 0E 83 3E 9F 16",
       18,
       kT0,
       AtrCheck::kNotNeeded,
       15,
       {"T0 2F: Y1=2: TB1 follows; K=15 historical bytes; no TA1: the card keeps Fd=372, Dd=1 "
        "(9600 baud at the usual 3.5712 MHz clock)"}},
      {"Radiolinja GSM SIM",
       "3F 3F 94 00 80 69 AF 03 07 01 59 00 00 0A 0E 83 3E 9F 16",
       19,
       kT0,
       AtrCheck::kNotNeeded,
       15,
       {"T0 3F: Y1=3: TA1 and TB1 follow"}},
      {"Kabel Deutschland G02",
       "3F FD 11 25 02 50 00 03 33 B0 15 69 FF 4A 50 F0 80 03 4B 4C 03",
       21,
       kT0,
       AtrCheck::kNotNeeded,
       13,
       {"TA2 00: specific mode: T=0 right after the ATR, with Fi and Di from TA1; the card can "
        "change to the negotiable mode",
        "TC2 03: T=0 waiting time WI=3: the card may wait up to 300 ms"}},
      {"Sky Viewing Card",
       "3F FA 11 25 05 00 01 B0 02 3B 40 4D 59 00 81 80",
       16,
       kT0,
       AtrCheck::kNotNeeded,
       10,
       {"TC1 05: extra guard time N=5: the reader leaves 17 etu"}},
      {"Viaccess",
       "3F 77 18 00 00 C2 EB 41 02 6C 90 00",
       12,
       kT0,
       AtrCheck::kNotNeeded,
       7,
       {"TA1 18: Fi=372, Di=12, f(max)=5 MHz: 115200 baud"}},
      {"Gemplus GemXpresso 211PK",
       "3F 6D 00 00 80 31 80 65 B0 05 01 02 5E 83 00 90 00",
       17,
       kT0,
       AtrCheck::kNotNeeded,
       13,
       {"80: category indicator: compact-TLV data objects follow",
        "31 80: card service data: application selection by full DF name, EF.DIR and EF.ATR "
        "read by READ RECORD, card with MF",
        "65 B0 05 01 02 5E: pre-issuing data: B0 05 01 02 5E",
        "83 00 90 00: status indicator: life cycle 00 (no information given), SW 90 00 (normal "
        "ending of the command)"}},
      {"Quorvel demo card",
       "3B 6C 00 00 51 55 4F 52 56 45 4C 20 44 45 4D 4F",
       16,
       kT0,
       AtrCheck::kNotNeeded,
       12,
       {"\"QUORVEL DEMO\"", "TB1 00: no programming voltage VPP"}},
      // T=1 with its TCK.
      {"YubiKey 4",
       "3B F8 13 00 00 81 31 FE 15 59 75 62 69 6B 65 79 34 D4",
       18,
       kT1,
       AtrCheck::kCorrect,
       8,
       {"TD1 81: T=1 offered; TD2 follows", "TA3 FE: T=1 IFSC=254",
        "TB3 15: T=1 BWI=1, CWI=5: block waiting time 11 etu + 200 ms, character waiting time "
        "43 etu",
        "\"Yubikey4\"", "TCK D4: correct: the XOR of T0 through TCK is 00"}},
      {"Atos CardOS 5",
       "3B D2 18 00 81 31 FE 58 C9 01 14",
       11,
       kT1,
       AtrCheck::kCorrect,
       2,
       {"TB3 58: T=1 BWI=5, CWI=8: block waiting time 11 etu + 3200 ms"}},
      {"ZeitControl BasicCard",
       "3B BC 18 00 81 31 20 75 5A 43 33 2E 31 32 20 52 45 56 20 41 46",
       21,
       kT1,
       AtrCheck::kCorrect,
       12,
       {"TA3 20: T=1 IFSC=32", "\"ZC3.12 REV A\""}},
      {"IRMA card",
       "3B FF 96 00 FF 81 31 FE 4D 80 31 E0 6B 04 31 05 02 77 55 55 55 55 55 55 EA",
       25,
       kT1,
       AtrCheck::kCorrect,
       15,
       {"TA1 96: Fi=512, Di=32, f(max)=5 MHz: 223200 baud",
        "TC1 FF: N=255: the smallest guard time, 12 etu between characters for T=0 and 11 etu "
        "for T=1"}},
      {"Portuguese identity card",
       "3B FF 96 00 00 81 31 FE 43 80 31 80 65 B0 85 04 01 20 12 0F FF 82 90 00 D0",
       25,
       kT1,
       AtrCheck::kCorrect,
       15,
       {"12 0F FF: country code: 0F FF",
        "82 90 00: status indicator: SW 90 00 (normal ending of the command)"}},
      {"Algerian identity card",
       "3B FF 96 00 FF 91 81 31 FE 4D 80 31 E0 6B 04 31 05 02 75 55 55 55 55 55 55 79",
       26,
       kT1,
       AtrCheck::kCorrect,
       15,
       {"TA2 81: specific mode: T=1 right after the ATR, with Fi and Di from TA1; the card "
        "cannot change to the negotiable mode",
        "in the specific mode TA2 sets, the card speaks at this speed right away"}},
      {"Bit4Id JavaCard",
       "3B FF 96 00 FF 81 31 FE 55 00 6B 02 09 04 03 01 01 01 43 4E 53 10 31 80 14",
       25,
       kT1,
       AtrCheck::kCorrect,
       15,
       {"00: category indicator: compact-TLV data objects, then a status indicator in the last "
        "3 bytes",
        "10 31 80: status indicator: life cycle 10 (proprietary)"}},
      {"TeleSec TCOS 2",
       "3B BA 96 00 81 31 86 5D 00 64 05 60 02 03 31 80 90 00 66",
       19,
       kT1,
       AtrCheck::kCorrect,
       10,
       {"TA3 86: T=1 IFSC=134"}},
      {"Japanese Individual Number Card",
       "3B C5 FF 81 31 FB 45 80 73 C6 01 00 00",
       13,
       kT1,
       AtrCheck::kCorrect,
       5,
       {"73 C6 01 00: card capabilities: DF selection by full DF name, by partial DF name, short "
        "EF identifier, record number; one-time write, data unit 1 byte; no logical channels"}},
      // T=0 and T=1.
      {"MIFARE Classic 1K through PC/SC",
       "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A",
       20,
       kT0 | kT1,
       AtrCheck::kCorrect,
       15,
       {"TD2 01: T=1 offered; no more interface bytes follow",
        "application identifier (in PC/SC's form 4F, length, identifier): A0 00 00 03 06 03 00 "
        "01 00 00 00 00"}},
      {"OsEID",
       "3B D5 96 02 80 31 FE 65 4F 73 45 49 44 1F",
       14,
       kT0 | kT1,
       AtrCheck::kCorrect,
       5,
       {"\"OsEID\"", "TC1 02: extra guard time N=2"}},
      {"Atmel T=0 inverse-convention test card",
       "3F 96 18 80 01 80 51 00 61 10 30 9F",
       12,
       kT0 | kT1,
       AtrCheck::kCorrect,
       6,
       {"TS 3F: inverse convention", "51 00: card issuer's data: 00",
        "30: card service data, empty"}},
      {"French identity card",
       "3B FF 96 00 00 C0 0A 31 FE 43 80 31 80 65 B0 85 04 00 11 12 0F FF 82 90 00 AB",
       26,
       kT0 | kT1,
       AtrCheck::kCorrect,
       15,
       {"TD1 C0: T=0 offered; TC2 and TD2 follow",
        "TC2 0A: T=0 waiting time WI=10: the card may wait up to 1376 ms"}},
      {"NXP SmartMX",
       "3B BB 18 00 C0 10 31 FE 45 80 67 04 12 B0 03 03 00 00 81 05 3C",
       21,
       kT0 | kT1,
       AtrCheck::kCorrect,
       11,
       {"TC2 10: T=0 waiting time WI=16: the card may wait up to 1600 ms",
        "81 05: status indicator: life cycle 05 (operational state, activated)"}},
      // T=0 with T=15's global bytes.
      {"sysmocom SIM",
       "3B 9F 95 80 1F C3 80 31 E0 73 FE 21 13 57 86 81 02 86 98 44 18 A8",
       22,
       kT0 | kT15,
       AtrCheck::kCorrect,
       15,
       {"TD2 1F: T=15, global interface bytes; TA3 follows",
        "TA3 C3: clock stop in either state, no preference; classes A (5 V), B (3 V)\n"}},
      {"GSM SIM",
       "3B 9F 95 80 1F C7 80 31 E0 73 FE 21 1B 63 E2 08 A8 83 0F 90 00 89",
       22,
       kT0 | kT15,
       AtrCheck::kCorrect,
       15,
       {"classes A (5 V), B (3 V), C (1.8 V)",
        "73 FE 21 1B: card capabilities: DF selection by full DF name"}},
      {"eSTK.me 1.2.5",
       "3B BF 93 00 80 1F C6 80 31 E0 73 FE 21 13 57 65 73 74 6B 2E 6D 65 E3",
       23,
       kT0 | kT15,
       AtrCheck::kCorrect,
       15,
       {"TA3 C6: clock stop in either state, no preference; classes B (3 V), C (1.8 V)",
        "card issuer's data: 65 73 74 6B 2E 6D 65 \"estk.me\""}},
      {"eSTK.me 1.2.4",
       "3B BF 93 00 80 3F C6 82 80 31 E0 73 FE 21 13 57 65 73 74 6B 2E 6D 65 41",
       24,
       kT0 | kT15,
       AtrCheck::kCorrect,
       15,
       {"TB3 82: contact C6 (SPU) in proprietary use"}},
      {"G&D UniverSIM Pegasus",
       "3B FF 96 00 FF C0 0A 1F 43 80 31 E0 73 36 21 13 57 4A 43 49 1C 31 30 32 1E",
       25,
       kT0 | kT15,
       AtrCheck::kCorrect,
       15,
       {"TA3 43: clock stop in state L; classes A (5 V), B (3 V)"}},
      // T=1 with T=15, and all three.
      {"German health insurance card G2",
       "3B D0 96 FF 81 B1 FE 45 1F 03 2E",
       11,
       kT1 | kT15,
       AtrCheck::kCorrect,
       0,
       {"K=0 historical bytes", "TD2 B1: T=1 offered; TA3, TB3 and TD3 follow",
        "TA4 03: clock stop not supported; classes A (5 V), B (3 V)"}},
      {"Athena IDProtect",
       "3B D5 18 FF 80 91 FE 1F C3 80 73 C8 21 13 08",
       15,
       kT0 | kT1 | kT15,
       AtrCheck::kCorrect,
       5,
       {"TD2 91: T=1 offered; TA3 and TD3 follow", "TD3 1F: T=15, global interface bytes",
        "4 logical channels assigned by the card"}},
  };
  return corpus;
}

// Every byte of the first `length` is covered by at least one item.
bool EveryByteExplained(const AtrDescription& description, std::size_t length) {
  std::vector<bool> covered(length, false);
  for (const AtrItem& item : description.items)
    for (std::size_t i = item.offset; i < item.offset + item.length && i < length; ++i)
      covered[i] = true;
  for (bool byte : covered)
    if (!byte) return false;
  return true;
}

TEST(DecodeAtrTest, CorpusOfRealCards) {
  ASSERT_GE(Corpus().size(), 30u);
  for (const CorpusAtr& entry : Corpus()) {
    SCOPED_TRACE(entry.card);
    const std::vector<std::uint8_t> atr = HexBytes(entry.hex);
    ASSERT_EQ(atr.size(), entry.length);
    const AtrDescription description = DecodeAtr(atr);
    const std::string text = RenderAtr(description);
    EXPECT_TRUE(description.complete) << text;
    EXPECT_EQ(description.atrLength, entry.length);
    EXPECT_EQ(description.extraBytes, 0u);
    EXPECT_EQ(CompleteAtrLength(atr), std::optional<std::size_t>(entry.length));
    EXPECT_EQ(description.convention,
              atr[0] == 0x3B ? AtrConvention::kDirect : AtrConvention::kInverse);
    EXPECT_EQ(description.protocols, entry.protocols);
    EXPECT_EQ(description.check, entry.check);
    EXPECT_EQ(description.historicalCount, entry.historical);
    EXPECT_TRUE(EveryByteExplained(description, atr.size())) << text;
    for (const std::string& phrase : entry.phrases)
      EXPECT_NE(text.find(phrase), std::string::npos) << "missing: " << phrase << "\n" << text;
  }
}

TEST(DecodeAtrTest, EveryShortenedAtrIsExplainedAndNeverComplete) {
  for (const CorpusAtr& entry : Corpus()) {
    const std::vector<std::uint8_t> atr = HexBytes(entry.hex);
    for (std::size_t length = 0; length < atr.size(); ++length) {
      SCOPED_TRACE(std::string(entry.card) + " cut to " + std::to_string(length));
      const std::span<const std::uint8_t> prefix(atr.data(), length);
      const AtrDescription description = DecodeAtr(prefix);
      ASSERT_FALSE(description.items.empty());
      EXPECT_FALSE(description.complete);
      EXPECT_EQ(description.atrLength, length);
      const std::optional<std::size_t> complete = CompleteAtrLength(prefix);
      if (complete) {
        EXPECT_EQ(*complete, atr.size());
      }
      const std::string& last = description.items.back().text;
      EXPECT_EQ(last.rfind(length == 0 ? "No ATR" : "The ATR ends after ", 0), 0u) << last;
    }
  }
}

struct ShortAtr {
  const char* hex;
  const char* ending;
};

TEST(DecodeAtrTest, NamesWhatAShortAtrMisses) {
  const ShortAtr cases[] = {
      {"3F FD 11 25 02 50",
       "The ATR ends after TD1: 2 interface bytes and 13 historical bytes are missing"},
      {"3B 9F 95 80",
       "The ATR ends after TD1: 1 interface byte and 15 historical bytes are missing; TD2 may "
       "announce more"},
      {"3B DF",
       "The ATR ends after T0: 3 interface bytes and 15 historical bytes are missing; "
       "TD1 may announce more"},
      {"3B F8 13 00 00 81 31 FE 15 59 75 62 69 6B 65 79 34",
       "The ATR ends after historical byte 8: the TCK is missing"},
      {"3B 9F 95 80 1F C3 80 31",
       "The ATR ends after historical byte 2: 13 historical bytes and the TCK are missing"},
      {"3B", "The ATR ends after TS: T0 and the bytes it announces are missing"},
  };
  for (const ShortAtr& c : cases) {
    const AtrDescription description = DecodeAtr(HexBytes(c.hex));
    EXPECT_EQ(description.items.back().text, c.ending) << c.hex;
  }
  EXPECT_EQ(DecodeAtr(HexBytes("3B F8 13 00 00 81 31 FE 15 59 75 62 69 6B 65 79 34")).check,
            AtrCheck::kMissing);
}

TEST(DecodeAtrTest, WrongCheckByte) {
  const AtrDescription description =
      DecodeAtr(HexBytes("3B F8 13 00 00 81 31 FE 15 59 75 62 69 6B 65 79 34 D5"));
  EXPECT_TRUE(description.complete);
  EXPECT_EQ(description.check, AtrCheck::kWrong);
  EXPECT_NE(RenderAtr(description)
                .find("TCK D5: wrong: the XOR of T0 through TCK is 01, not 00; the right TCK "
                      "is D4\n"),
            std::string::npos);
}

struct ExtraCase {
  const char* hex;
  std::size_t atrLength;
  const char* last;
};

TEST(DecodeAtrTest, NamesBytesAfterACompleteAtr) {
  const ExtraCase cases[] = {
      {"3B 02 14 50 90 00", 4, "Extra bytes after the ATR: 90 00"},
      {"3B F8 13 00 00 81 31 FE 15 59 75 62 69 6B 65 79 34 D4 00", 18,
       "Extra bytes after the ATR: 00"},
      // A T=0 card that sends a TCK all the same, which ISO/IEC 7816-3 §8.2.5 forbids.
      {"3B 02 14 50 46", 4,
       "Extra bytes after the ATR: 46 (the first would be a correct TCK, but the TCK shall be "
       "absent when only T=0 is offered)"},
  };
  for (const ExtraCase& c : cases) {
    const std::vector<std::uint8_t> received = HexBytes(c.hex);
    const AtrDescription description = DecodeAtr(received);
    EXPECT_TRUE(description.complete) << c.hex;
    EXPECT_EQ(description.atrLength, c.atrLength) << c.hex;
    EXPECT_EQ(description.extraBytes, received.size() - c.atrLength) << c.hex;
    EXPECT_EQ(CompleteAtrLength(received), std::optional<std::size_t>(c.atrLength)) << c.hex;
    EXPECT_EQ(description.items.back().text, c.last) << c.hex;
  }
}

struct ClockCase {
  const char* hex;
  std::uint32_t clockHz;
  const char* phrase;
};

// ISO/IEC 7816-3: the baud is f x D / F (§7.1); WT = WI x 960 x Fi / f (§10.2); BWT = 11 etu +
// 2^BWI x 960 x Fd / f (§11.4.3).
TEST(DecodeAtrTest, SpeedsAndWaitingTimesAtTheReadersClock) {
  const ClockCase cases[] = {
      {"3B 02 14 50", 3579545,
       "no TA1: the card keeps Fd=372, Dd=1 (9622 baud at the reader's 3.579545 MHz clock)"},
      {"3B 02 14 50", 4000000,
       "no TA1: the card keeps Fd=372, Dd=1 (10753 baud at the reader's 4 MHz clock)"},
      {"3B 02 14 50", 0,
       "no TA1: the card keeps Fd=372, Dd=1 (9600 baud at the usual 3.5712 MHz clock)"},
      {"3B 16 94 71 01 01 00 27 00", 3579545,
       "TA1 94: Fi=512, Di=8, f(max)=5 MHz: 55930 baud at the reader's 3.579545 MHz clock; the "
       "card starts at Fd=372, Dd=1 (9622 baud) and offers this speed by PPS (FF 10 94 7B for "
       "T=0)"},
      {"3B BA 94 00 40 14 47 47 33 52 53 37 31 36 53 30", 3579545,
       "TC2 14: T=0 waiting time WI=20: the card may wait up to 2746 ms between characters at "
       "3.579545 MHz (960 x WI x Fi / f)"},
      {"3B F8 13 00 00 81 31 FE 15 59 75 62 69 6B 65 79 34 D4", 4000000,
       "TB3 15: T=1 BWI=1, CWI=5: block waiting time 11 etu + 179 ms, character waiting time 43 "
       "etu"},
  };
  for (const ClockCase& c : cases) {
    const std::string text = RenderAtr(DecodeAtr(HexBytes(c.hex), c.clockHz));
    EXPECT_NE(text.find(c.phrase), std::string::npos) << c.clockHz << " Hz: " << c.phrase << "\n"
                                                      << text;
  }
}

// ISO/IEC 7816-3 8.2.3: TD1, TD2, ... offer protocols, the first offered applies without PPS
// (T=0 without TD1; T=15 is no protocol); clause 9 / TA2: the specific mode speaks TA2's
// protocol only; 8.2.5: TCK. Without proto=, T=0 when offered, else T=1.
TEST(AtrProtocolsTest, WhatTheAtrOffersAndTheProtocolToUse) {
  const struct {
    const char* hex;
    std::uint16_t offered;
    int first;
    bool checkWrong;
    const char* chosen;  // without proto=, with t0, with t1: "0", "1", "-" for none
  } cases[] = {
      {"3B 10 96", kT0, 0, false, "00-"},
      {"3B 90 96 01 07", kT1, 1, false, "1-1"},
      {"3B 90 96 81 00 87", kT0 | kT1, 1, false, "001"},
      {"3B 80 80 01 01", kT0 | kT1, 0, false, "001"},
      {"3B 90 96 81 00 86", kT0 | kT1, 1, true, "001"},
      {"3B 80 0E 8E", 1u << 14, 14, false, "---"},
      {"3B 80 81 1F 07 19", kT1, 1, false, "1-1"},  // T=15 is no protocol
      {"3B 90 96 10 01", kT0, 0, false, "1-1"},     // TA2 fixes T=1
      {"3B 80 10 00", kT0, 0, false, "00-"},
  };
  for (const auto& c : cases) {
    const std::optional<AtrProtocols> protocols = ReadAtrProtocols(HexBytes(c.hex));
    ASSERT_TRUE(protocols) << c.hex;
    EXPECT_EQ(protocols->offered, c.offered) << c.hex;
    EXPECT_EQ(protocols->first, c.first) << c.hex;
    EXPECT_EQ(protocols->checkWrong, c.checkWrong) << c.hex;
    std::string chosen;
    for (auto choice : {ProtocolChoice::kByCard, ProtocolChoice::kT0, ProtocolChoice::kT1}) {
      const std::optional<CardProtocol> protocol = ChooseProtocol(*protocols, choice);
      chosen += protocol ? static_cast<char>('0' + static_cast<int>(*protocol)) : '-';
    }
    EXPECT_EQ(chosen, c.chosen) << c.hex;
  }
  EXPECT_EQ(ReadAtrProtocols(HexBytes("3B 90 96 81 00")), std::nullopt);  // TCK to come
}

// TA1's explanation proposes the request a Reset sends, for the protocol the settings lead to;
// a reader clock above f(max) (ISO/IEC 7816-3 table 7, 5 MHz without TA1) is warned of.
TEST(DecodeAtrTest, Ta1ProposesTheRequestAResetSendsAndWarnsOfAFastClock) {
  const struct {
    const char* hex;
    std::uint32_t clockHz;
    ProtocolChoice choice;
    const char* phrase;
  } cases[] = {
      {"3B 90 96 81 00 87", 0, ProtocolChoice::kByCard, "by PPS (FF 10 96 79 for T=0)"},
      {"3B 90 96 81 00 87", 0, ProtocolChoice::kT1, "by PPS (FF 11 96 78 for T=1)"},
      {"3B 90 96 01 07", 0, ProtocolChoice::kT0, "by PPS (none is sent: the card offers no"},
      {"3B 90 96 01 06", 0, ProtocolChoice::kByCard, "by PPS (none is sent: the TCK is wrong)"},
      {"3B 10 96", 6'000'000, ProtocolChoice::kByCard,
       "T=0); warning: the reader's 6 MHz clock is above the card's f(max) of 5 MHz"},
      {"3B 00", 6'000'000, ProtocolChoice::kByCard,
       "clock); warning: the reader's 6 MHz clock is above the default f(max) of 5 MHz"},
      {"3B 10 A6", 6'000'000, ProtocolChoice::kByCard, "f(max)=7.5 MHz: 250000 baud"},
  };
  for (const auto& c : cases) {
    const std::string text = RenderAtr(DecodeAtr(HexBytes(c.hex), c.clockHz, c.choice));
    EXPECT_NE(text.find(c.phrase), std::string::npos) << c.phrase << "\n" << text;
    // Only a phrase that warns may find a warning.
    EXPECT_EQ(text.find("warning") == std::string::npos,
              std::string_view(c.phrase).find("warning") == std::string_view::npos);
  }
}

TEST(DecodeAtrTest, FirstByteThatStartsNoAtr) {
  const ShortAtr cases[] = {
      {"03 02 14 50",
       "TS 03: This looks like an inverse-convention card: tick Inv, set parity=o in the settings "
       "strings (through a serial port its characters have odd parity) and press Reset"},
      {"23 00",
       "TS 23: not an ATR start; this looks like a direct-convention card read with Inv "
       "ticked: untick Inv and press Reset"},
      {"12", "TS 12: not an ATR start: TS is 3B (direct convention) or 3F (inverse convention)"},
  };
  for (const ShortAtr& c : cases) {
    const AtrDescription description = DecodeAtr(HexBytes(c.hex));
    EXPECT_EQ(description.items.front().text, c.ending);
    EXPECT_EQ(description.convention, AtrConvention::kNone);
    EXPECT_FALSE(description.complete);
    EXPECT_EQ(CompleteAtrLength(HexBytes(c.hex)), std::nullopt);
  }
  EXPECT_EQ(RenderAtr(DecodeAtr({})), "No ATR: the card sent nothing\n");
}

}  // namespace
}  // namespace quorvel
