// Explanations of output rows, made from the rows and the records the panel keeps beside
// them, for every kind of row and every way an exchange ends.
#include "card/row_explanations.h"

#include <cstdlib>
#include <ctime>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "card/output_panel.h"
#include "iso7816/atr.h"
#include "iso7816/instructions.h"
#include "iso7816/status_words.h"
#include "support/fake_controls.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

// 2025-01-02 10:11:12.345 UTC.
const auto kStarted = std::chrono::system_clock::time_point(milliseconds(1735812672345));
constexpr const char* kStartedText = "Started 2025-01-02 10:11:12.345";

// A real card's ATR, longer than one row: T=1 with TCK and compact-TLV historical bytes.
const Bytes kLongAtr = {0x3B, 0xDF, 0x18, 0x00, 0x81, 0x31, 0xFE, 0x7D, 0x00, 0x6B, 0x15, 0x0C,
                        0x01, 0x81, 0x01, 0x11, 0x01, 0x43, 0x4E, 0x53, 0x10, 0x31, 0x80, 0xE8};

class RowExplanationsTest : public ::testing::Test {
 public:  // the cases below play their rows through the fixture
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    panel.UseAtrList(names);
  }

  void Reset(const Bytes& atr, bool inverse = false,
             const char* executeSettings = "COM2: baud=9600 parity=E") {
    ExchangeRecord record;
    record.kind = ExchangeKind::kReset;
    record.reset = std::make_unique<ResetSettingsUsed>();
    record.reset->resetSettings = "DEMO: baud=9600";
    record.reset->executeSettings = executeSettings;
    record.reset->inverse = inverse;
    record.started = kStarted;
    record.took = milliseconds(300);
    record.received = static_cast<std::uint16_t>(atr.size());
    panel.OpenExchange(std::move(record));
    panel.AppendRow(RowKind::kResetMarker, "Reset...");
    panel.AppendHexRows(atr.data(), static_cast<std::uint32_t>(atr.size()));
    panel.CloseExchange();
  }

  // Rows as an Execute adds them: the failure row, the hex rows, the status row.
  void Execute(const Bytes& header, std::uint8_t direction, ExchangeStop stop,
               const Bytes& received, int statusArrived = 2, Bytes statusWord = {0x90, 0x00},
               std::string comment = "read") {
    ExchangeRecord record;
    std::copy(header.begin(), header.end(), record.header);
    record.direction = direction;
    record.stop = stop;
    record.comment = std::move(comment);
    record.received = static_cast<std::uint16_t>(received.size());
    record.started = kStarted;
    record.took = milliseconds(61);
    panel.OpenExchange(std::move(record));
    if (stop != ExchangeStop::kComplete)
      panel.AppendRow(RowKind::kFailure, "Command execution failed!");
    panel.AppendHexRows(received.data(), static_cast<std::uint32_t>(received.size()));
    if (stop == ExchangeStop::kComplete) panel.AppendStatusRow(statusWord.data(), statusArrived);
    panel.CloseExchange();
  }

  // An Execute of the whole of T=0 or of T=1: one piece of rows per block (or one piece).
  void ExecuteIn(ExchangeFraming framing, const Bytes& header, std::uint8_t direction,
                 ExchangeStop stop, const std::vector<Bytes>& pieces,
                 std::vector<ExchangeBlock> blocks = {}, std::uint32_t cleared = 0,
                 std::string failure = {}) {
    ExchangeRecord record;
    record.framing = framing;
    std::copy(header.begin(), header.end(), record.header);
    record.direction = direction;
    record.stop = stop;
    record.blocks = std::move(blocks);
    record.clearedBeforeHeader = cleared;
    record.failure = std::move(failure);
    record.started = kStarted;
    panel.OpenExchange(std::move(record));
    if (stop != ExchangeStop::kComplete)
      panel.AppendRow(RowKind::kFailure, "Command execution failed!");
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      panel.AppendHexRows(pieces[i].data(), static_cast<std::uint32_t>(pieces[i].size()),
                          RowKind::kReceived, static_cast<std::uint16_t>(i));
    }
    const std::uint8_t ok[2] = {0x90, 0x00};
    if (stop == ExchangeStop::kComplete) panel.AppendStatusRow(ok, 2);
    panel.CloseExchange();
  }

  testing::FakeListBox rows;
  testing::FakeEditBox counter;
  testing::FakeCheckBox bin;
  OutputPanel panel{rows, counter, bin};
  const AtrList names = AtrList::FromText(
      "# a comment\n3B DF 18 00 81 31 FE 7D 00 6B .. 0C 01 81 01 11 01 43 4E 53 10 31 80 ..\n"
      "\tA national ID card\n\tsecond line\nnot an ATR line\n\tskipped\n"
      "3B 10 14 50\n\tHSID6000 (PKI)\n");
};

Bytes Header(std::uint8_t cla, std::uint8_t ins, std::uint8_t p3) {
  return {cla, ins, 0x00, 0x00, p3};
}

Bytes Joined(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

struct Case {
  const char* name;
  std::function<void(RowExplanationsTest&)> play;
  int row;
  std::vector<std::string> expected;  // parts of the explanation, in this order
};

// Odd parity with Inv, or even parity without it, gets no parity note.
TEST_F(RowExplanationsTest, TheParityNoteNeedsInvAndEvenParity) {
  for (auto [inverse, settings] : {std::pair{true, "COM2: parity=o"}, {false, "COM2: 96,e"}}) {
    Reset({0x3B, 0x00}, inverse, settings);
    const std::string marker = panel.ExplainRow(rows.GetCount() - 2);
    EXPECT_TRUE(marker.starts_with("Reset. ") && marker.find("Note") == std::string::npos);
  }
}

TEST_F(RowExplanationsTest, EveryKindOfRowSaysWhatItMeans) {
  const Bytes read = Header(0x00, 0xB0, 0x10);
  Bytes data(16);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
  const std::string readBinary = InstructionName(0x00, 0xB0);
  // Class A0 is GSM: the same status word means something else there.
  ASSERT_NE(ExplainStatusWord(0x98, 0x04, 2, 0xA0), ExplainStatusWord(0x98, 0x04, 2, 0x00));
  // So does 63 CX after a PIN command and after others.
  ASSERT_NE(ExplainStatusWord(0x63, 0xC2, 2, 0x00, 0x20), ExplainStatusWord(0x63, 0xC2, 2, 0x00));

  const std::vector<Case> cases = {
      {"reset marker",
       [](auto& t) {
         t.Reset({0x3B, 0x00}, true);
       },
       0,
       {"Reset. " + std::string(kStartedText) + ", took 300 ms.",
        "Reset settings, for the reset pulse: DEMO: baud=9600",
        "port and set again after the ATR: COM2: baud=9600 parity=E", "Inv is on",
        // ISO/IEC 7816-3 8.1: the inverse convention's parity reads as odd through a UART.
        "\nNote: the Execute settings ask for even parity, but through a serial port an "
        "inverse-convention card's characters have odd parity: use parity=o with Inv.",
        "answered with 2 bytes"}},
      {"reset without an answer",
       [](auto& t) { t.Reset({}); },
       0,
       {"Nothing arrived within 250 ms", "Is the reader connected and powered, the card inserted"}},
      {"second ATR row",
       [](auto& t) { t.Reset(kLongAtr); },
       2,
       {"this row holds bytes 17-24 of the 24 received",
        RenderAtr(DecodeAtr(kLongAtr)).substr(0, 40),
        "Cards with this ATR in the system's ATR list:", "\n  A national ID card\n  second line"}},
      {"unknown ATR",
       [](auto& t) {
         t.Reset({0x3B, 0x00});
       },
       1,
       {"this row holds bytes 1-2 of the 2", "knows no card with this ATR"}},
      {"list entry holding a byte after the announced ATR",
       [](auto& t) {
         t.Reset({0x3B, 0x10, 0x14, 0x50});
       },
       1,
       {"Extra bytes after the ATR: 50",
        "in the system's ATR list:\n3B 10 14 50 (all 4 bytes received, 1 more than the ATR "
        "announces)\n  HSID6000 (PKI)"}},
      {"first row of a command",
       [&](auto& t) {
         t.Execute(read, kFromCard, ExchangeStop::kComplete, Joined(Joined(read, {0xB0}), data));
       },
       0,
       {"Command \"read\": 00 B0 00 00 10, " + readBinary + ", 16 bytes from the card.",
        "bytes 1-16 of the 22 received:", "\nBytes 1-5: the echo of the header\n",
        "Byte 6: the procedure byte B0, equal to INS",
        "Bytes 7-16: data from the card, bytes 1-10 of 16",
        std::string(kStartedText) + ", took 61 ms."}},
      {"second row of a command",
       [&](auto& t) {
         t.Execute(read, kFromCard, ExchangeStop::kComplete, Joined(Joined(read, {0xB0}), data));
       },
       1,
       {"bytes 17-22 of the 22 received:\nBytes 17-22: data from the card, bytes 11-16 of 16\n"}},
      {"echo of data sent",
       [](auto& t) {
         t.Execute(Header(0x00, 0xA4, 2), kToCard, ExchangeStop::kComplete,
                   {0x00, 0xA4, 0x00, 0x00, 0x02, 0xA4, 0x3F, 0x00});
       },
       0,
       {"2 bytes to the card.", "Bytes 7-8: the echo of the data sent, bytes 1-2 of 2"}},
      {"echo that differs",
       [](auto& t) {
         t.Execute(Header(0x00, 0xB0, 0), kFromCard, ExchangeStop::kComplete,
                   {0x00, 0xB0, 0x00, 0x80, 0x00, 0xB0});
       },
       0,
       {"differs from the header sent (00 B0 00 00 00)"}},
      {"short answer",
       [](auto& t) {
         t.Execute(Header(0x00, 0xB0, 8), kFromCard, ExchangeStop::kComplete,
                   {0x00, 0xB0, 0x00, 0x00, 0x08, 0xB0, 1, 2, 0x90, 0x00}, 0);
       },
       0,
       {"Only 4 of the 8 data bytes asked for arrived"}},
      {"status of class 00",
       [](auto& t) {
         t.Execute(Header(0x00, 0xB0, 0), kFromCard, ExchangeStop::kComplete,
                   {0x00, 0xB0, 0x00, 0x00, 0x00, 0xB0}, 2, {0x98, 0x04});
       },
       1,
       {"Status 98 04: " + ExplainStatusWord(0x98, 0x04, 2, 0x00), "Command \"read\""}},
      {"status of class A0",
       [](auto& t) {
         t.Execute(Header(0xA0, 0x20, 0), kToCard, ExchangeStop::kComplete,
                   {0xA0, 0x20, 0x00, 0x00, 0x00, 0x20}, 2, {0x98, 0x04});
       },
       1,
       {"Status 98 04: " + ExplainStatusWord(0x98, 0x04, 2, 0xA0)}},
      {"status of a VERIFY: its counter counts the tries left",
       [](auto& t) {
         t.Execute(Header(0x00, 0x20, 0), kToCard, ExchangeStop::kComplete,
                   {0x00, 0x20, 0x00, 0x00, 0x00, 0x20}, 2, {0x63, 0xC2});
       },
       1,
       {"Status 63 C2: " + ExplainStatusWord(0x63, 0xC2, 2, 0x00, 0x20)}},
      {"status with SW2 missing",
       [](auto& t) {
         t.Execute(Header(0x00, 0xB0, 0), kFromCard, ExchangeStop::kComplete,
                   {0x00, 0xB0, 0x00, 0x00, 0x00, 0xB0}, 1, {0x6A, 0x82});
       },
       1,
       {"Status 6A --: " + ExplainStatusWord(0x6A, 0x82, 1, 0x00)}},
      {"status with nothing",
       [](auto& t) {
         t.Execute(Header(0x00, 0xB0, 0), kFromCard, ExchangeStop::kComplete,
                   {0x00, 0xB0, 0x00, 0x00, 0x00, 0xB0}, 0);
       },
       1,
       {"Status -- --: " + ExplainStatusWord(0x90, 0x00, 0, 0x00)}},
      {"no echo at all",
       [&](auto& t) { t.Execute(read, kFromCard, ExchangeStop::kNoEcho, {}); },
       0,
       {"Nothing came back, not even the echo of the header.", "Is the reader connected",
        "Command \"read\": 00 B0 00 00 10"}},
      {"part of the echo",
       [&](auto& t) {
         t.Execute(read, kFromCard, ExchangeStop::kNoEcho, {0x00, 0xB0, 0x00});
       },
       0,
       {"Only 3 of the 5 echo bytes of the header came back."}},
      {"part of the echo, its row",
       [&](auto& t) {
         t.Execute(read, kFromCard, ExchangeStop::kNoEcho, {0x00, 0xB0, 0x00});
       },
       1,
       {"Bytes 1-3: the echo of the header (3 of its 5 bytes came back)"}},
      {"no procedure byte",
       [&](auto& t) { t.Execute(read, kFromCard, ExchangeStop::kNoProcedureByte, read); },
       0,
       {"but no procedure byte from the card within 200 ms"}},
      {"refused",
       [](auto& t) {
         t.Execute(Header(0x00, 0xCA, 0), kFromCard, ExchangeStop::kWrongProcedureByte,
                   {0x00, 0xCA, 0x00, 0x00, 0x00, 0x6D, 0x00});
       },
       0,
       {"In place of the procedure byte INS CA the card sent 6D: the card refused the command "
        "with the status word 6D 00: " +
        ExplainStatusWord(0x6D, 0x00, 2, 0x00)}},
      {"refused, its row",
       [](auto& t) {
         t.Execute(Header(0x00, 0xCA, 0), kFromCard, ExchangeStop::kWrongProcedureByte,
                   {0x00, 0xCA, 0x00, 0x00, 0x00, 0x6D, 0x00});
       },
       1,
       {"Byte 6: in place of the procedure byte INS CA the card sent 6D\n"
        "Byte 7: the byte after it (SW2 of the card's status word)"}},
      {"null byte",
       [&](auto& t) {
         t.Execute(read, kFromCard, ExchangeStop::kWrongProcedureByte, Joined(read, {0x60}));
       },
       0,
       {"the card sent 60, the null byte"}},
      {"complement of INS",
       [&](auto& t) {
         t.Execute(read, kFromCard, ExchangeStop::kWrongProcedureByte, Joined(read, {0x4F, 0x90}));
       },
       0,
       {"the card sent 4F, the complement of INS"}},
      {"short echo of the data",
       [](auto& t) {
         t.Execute(Header(0x00, 0xD6, 3), kToCard, ExchangeStop::kShortDataEcho,
                   {0x00, 0xD6, 0x00, 0x00, 0x03, 0xD6, 0x01, 0x02});
       },
       0,
       {"Of the 3 data bytes sent to the card only 2 came back"}},
      {"comment in the Windows code page",
       [](auto& t) {
         t.Execute(Header(0x00, 0xB0, 0), kFromCard, ExchangeStop::kComplete,
                   {0x00, 0xB0, 0x00, 0x00, 0x00, 0xB0}, 2, {0x90, 0x00}, "caf\xE9");
       },
       0,
       {"Command \"caf\xC3\xA9\""}},
      {"log hint",
       [](auto& t) { t.panel.AppendRow(RowKind::kLogHint, "Click Reset ..."); },
       0,
       {"Browse chose a new log file name", "next Reset"}},
  };
  for (const Case& c : cases) {
    rows.entries.clear();
    panel.RemoveAllRows();
    c.play(*this);
    const std::string text = panel.ExplainRow(c.row);
    std::size_t at = 0;
    for (const std::string& part : c.expected) {
      const std::size_t found = text.find(part, at);
      EXPECT_NE(found, std::string::npos) << c.name << ": no \"" << part << "\" in\n" << text;
      if (found != std::string::npos) at = found + part.size();
    }
  }
  EXPECT_EQ(panel.ExplainRow(99), "");
}

// ISO/IEC 7816-3 10.3.3: NULL (60) waits again, INS moves all the data left, its complement
// one byte, SW1 in place of a procedure byte ends the command; 11.3: a T=1 block is prologue,
// information field and epilogue.
TEST_F(RowExplanationsTest, WholeT0AndT1RowsSayWhatEachByteIs) {
  using F = ExchangeFraming;
  const Bytes read = Header(0x00, 0xB0, 0x04);
  const Bytes update = Header(0x00, 0xD6, 0x02);
  const auto block = [](bool sent, Bytes bytes, std::string meaning, int piece) {
    return ExchangeBlock{sent, std::move(bytes), std::move(meaning), piece};
  };
  const Bytes iBlock = {0x00, 0x00, 0x05, 0x00, 0xB0, 0x00, 0x00, 0x04, 0xB1};
  Bytes longBlock = {0x00, 0x20, 0x14};
  for (int i = 0; i < 20; ++i) longBlock.push_back(static_cast<std::uint8_t>(i));
  longBlock.push_back(0x27);
  const std::vector<ExchangeBlock> blocks = {
      block(true, iBlock, "I-block N(S)=0, 5 bytes of the command", 0),
      block(false, longBlock, "I-block N(S)=0, more follows, 20 bytes of the answer; LRC right",
            1)};
  const std::vector<Case> cases = {
      {"NULL before and after the data",
       [&](auto& t) {
         t.ExecuteIn(F::kT0Procedures, read, kFromCard, ExchangeStop::kComplete,
                     {Joined(read, {0x60, 0x60, 0xB0, 1, 2, 3, 4, 0x60})});
       },
       0,
       {"bytes 1-13 of the 13 received, every T=0 procedure byte followed:",
        "\nBytes 1-5: the echo of the header", "\nBytes 6-7: NULL bytes (60): the card asks",
        "\nByte 8: the procedure byte B0, equal to INS: all 4 data bytes left follow",
        "\nBytes 9-12: data from the card, bytes 1-4 of 4", "\nByte 13: a NULL byte (60)"}},
      {"the complement of INS for each byte, then INS with nothing left",
       [&](auto& t) {
         t.ExecuteIn(F::kT0Procedures, update, kToCard, ExchangeStop::kComplete,
                     {Joined(update, {0x29, 0xAA, 0x29, 0xBB, 0xD6})});
       },
       0,
       {"Byte 6: the procedure byte 29, the complement of INS: one data byte goes to the card",
        "Byte 7: the echo of the data sent, byte 1 of 2",
        "Byte 9: the echo of the data sent, "
        "byte 2 of 2",
        "Byte 10: the procedure byte D6, equal to INS: no data is left"}},
      {"SW1 in place of the procedure byte, P3 = 00 meaning 256",
       [&](auto& t) {
         t.ExecuteIn(F::kT0Procedures, Header(0x00, 0xB0, 0x00), kFromCard, ExchangeStop::kComplete,
                     {Joined(Header(0x00, 0xB0, 0x00), {0x60})}, {}, 3);
       },
       0,
       {"status word (the row below) in place of a procedure byte after 0 of the 256 data "
        "bytes",
        "Before the header went out, 3 bytes the card had sent unasked were cleared"}},
      {"a wrong procedure byte after NULL",
       [&](auto& t) {
         t.ExecuteIn(F::kT0Procedures, read, kFromCard, ExchangeStop::kWrongProcedureByte,
                     {Joined(read, {0x60, 0x12})});
       },
       0,
       {"In place of a procedure byte the card sent 12, which is neither NULL (60)"}},
      {"no procedure byte within WT",
       [&](auto& t) {
         t.ExecuteIn(F::kT0Procedures, read, kFromCard, ExchangeStop::kNoProcedureByte, {read}, {},
                     0, "No procedure byte came within the work waiting time of 9600 ms.");
       },
       0,
       {"within the work waiting time of 9600 ms.", "Was the card reset"}},
      {"the echo of an I-block sent",
       [&](auto& t) {
         t.ExecuteIn(F::kT1Blocks, read, kFromCard, ExchangeStop::kComplete, {iBlock, longBlock},
                     blocks);
       },
       0,
       {"bytes 1-9 of the 9-byte echo of a block Quorvel sent: I-block N(S)=0, 5 bytes of the "
        "command.",
        "\nBytes 1-3: the prologue, NAD 00 PCB 00 LEN 05 (5 information bytes)",
        "\nBytes 4-8: the information field, bytes 1-5 of 5", "\nByte 9: the epilogue, the LRC"}},
      {"a block's second row",
       [&](auto& t) {
         t.ExecuteIn(F::kT1Blocks, read, kFromCard, ExchangeStop::kComplete, {iBlock, longBlock},
                     blocks);
       },
       2,
       {"bytes 17-24 of the 24-byte block from the card: I-block N(S)=0, more follows",
        "\nBytes 17-23: the information field, bytes 14-20 of 20",
        "\nByte 24: the epilogue, the LRC"}},
      {"T=1 status",
       [&](auto& t) {
         t.ExecuteIn(F::kT1Blocks, read, kFromCard, ExchangeStop::kComplete, {iBlock, longBlock},
                     blocks);
       },
       3,
       {"Status 90 00", "last two bytes of the answer"}},
      {"the S(IFS) exchange after the ATR",
       [](auto& t) {
         ExchangeRecord record;
         record.kind = ExchangeKind::kReset;
         record.reset = std::make_unique<ResetSettingsUsed>();
         const Bytes response = {0x00, 0xE1, 0x01, 0xFE, 0x1E};
         record.reset->setupBlocks = {{false, response, "S(IFS response) IFS=254; LRC right", 0}};
         t.panel.OpenExchange(std::move(record));
         t.panel.AppendHexRows(response.data(), 5, RowKind::kProtocolSetup, 0);
         t.panel.CloseExchange();
       },
       0,
       {"Setting T=1 up after the ATR: a block from the card, S(IFS response) IFS=254; LRC "
        "right.",
        "Byte 4: the information field", "offers IFSD 254", "N(S)=0"}},
  };
  for (const Case& c : cases) {
    rows.entries.clear();
    panel.RemoveAllRows();
    c.play(*this);
    const std::string text = panel.ExplainRow(c.row);
    std::size_t at = 0;
    for (const std::string& part : c.expected) {
      const std::size_t found = text.find(part, at);
      EXPECT_NE(found, std::string::npos) << c.name << ": no \"" << part << "\" in\n" << text;
      if (found != std::string::npos) at = found + part.size();
    }
  }
}

}  // namespace
}  // namespace quorvel
