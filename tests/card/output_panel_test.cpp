#include "card/output_panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "card/hex_rows.h"
#include "support/fake_controls.h"
#include "support/temp_folder.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::FakeCheckBox;
using testing::FakeEditBox;
using testing::FakeListBox;

std::vector<std::uint8_t> Counting(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

std::string FileContent(const fs::path& path) {
  return testing::ReadFileBytes(path);
}

TEST(HexRows, EachByteIsTwoUpperCaseDigitsAndABlank) {
  const std::uint8_t bytes[] = {0x3B, 0x00, 0xFF, 0x0A};
  EXPECT_EQ(HexRow(bytes, 4), "3B 00 FF 0A ");
  EXPECT_EQ(HexRow(bytes, 1), "3B ");
  const auto sixteen = Counting(16);
  EXPECT_EQ(HexRow(sixteen.data(), 16), "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ");
}

TEST(HexRows, StatusRowShowsMissingStatusBytesAsDashes) {
  const std::uint8_t status[2] = {0x90, 0x00};
  EXPECT_EQ(StatusRowText(status, 2), "90 00");
  const std::uint8_t wrong[2] = {0x6A, 0x82};
  EXPECT_EQ(StatusRowText(wrong, 1), "6A --");
  EXPECT_EQ(StatusRowText(wrong, 0), "-- --");
}

class OutputPanelTest : public ::testing::Test {
 protected:
  void Receive(std::size_t count) {
    const auto bytes = Counting(count);
    panel.AppendHexRows(bytes.data(), static_cast<std::uint32_t>(count));
  }

  std::string Log() {
    panel.FlushLog();
    return FileContent(logPath);
  }

  testing::TempFolder temp{"output_panel"};
  const fs::path& folder = temp.path();
  fs::path logPath = folder / "test.txt";
  FakeListBox rows;
  FakeEditBox counter;
  FakeCheckBox bin;
  OutputPanel panel{rows, counter, bin};
};

TEST_F(OutputPanelTest, RowsHoldSixteenBytesAndOnlyTheLastIsShorter) {
  Receive(0);
  EXPECT_TRUE(rows.entries.empty());
  Receive(16);
  ASSERT_EQ(rows.entries.size(), 1u);
  EXPECT_EQ(rows.entries[0].size(), 48u);
  EXPECT_EQ(rows.entries[0].back(), ' ');

  rows.entries.clear();
  Receive(17);
  ASSERT_EQ(rows.entries.size(), 2u);
  EXPECT_EQ(rows.entries[1], "10 ");

  rows.entries.clear();
  Receive(40);
  ASSERT_EQ(rows.entries.size(), 3u);
  EXPECT_EQ(rows.entries[2], "20 21 22 23 24 25 26 27 ");
}

TEST_F(OutputPanelTest, CounterShowsTheTotalInDecimal) {
  panel.ShowByteCount(0);
  EXPECT_EQ(counter.text, "0");
  panel.ShowByteCount(4294967295u);
  EXPECT_EQ(counter.text, "4294967295");
}

TEST_F(OutputPanelTest, TextLogHoldsRowsEndedByCarriageReturnAndLineFeed) {
  panel.OpenLogFile(logPath);
  Receive(20);
  const std::uint8_t status[2] = {0x90, 0x00};
  panel.AppendStatusRow(status, 2);
  panel.AppendRow(RowKind::kFailure, "Command execution failed!");
  EXPECT_EQ(Log(), "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r\n10 11 12 13 \r\n90 00\r\n");
  EXPECT_THAT(rows.entries.back(), "Command execution failed!");
}

TEST_F(OutputPanelTest, BinaryLogHoldsTheBytesOnly) {
  bin.state = 1;
  panel.OpenLogFile(logPath);
  Receive(20);
  const std::uint8_t status[2] = {0x6A, 0x82};
  panel.AppendStatusRow(status, 2);
  panel.AppendStatusRow(status, 1);
  panel.AppendRow(RowKind::kResetMarker, "Reset...");
  const auto expected = Counting(20);
  EXPECT_EQ(Log(), std::string(expected.begin(), expected.end()) + "\x6A\x82\x6A");
  EXPECT_THAT(rows.entries, ElementsAre(HexRow(expected.data(), 16), "10 11 12 13 ", "6A 82",
                                        "6A --", "Reset..."));
}

TEST_F(OutputPanelTest, WhatIsLoggedFollowsBinAtEachWrite) {
  bin.state = 1;  // a binary-mode file...
  panel.OpenLogFile(logPath);
  bin.state = 0;  // ...receives text rows with a bare line feed
  const std::uint8_t bytes[2] = {0x0A, 0x41};
  panel.AppendHexRows(bytes, 2);
  EXPECT_EQ(Log(), "0A 41 \n");

  bin.state = 0;  // a text-mode file...
  panel.OpenLogFile(logPath);
  bin.state = 1;  // ...stores a raw 0x0A as CR LF
  panel.AppendHexRows(bytes, 2);
  EXPECT_EQ(Log(), "\r\nA");
}

TEST_F(OutputPanelTest, EachOpenCreatesTheFileAnew) {
  panel.OpenLogFile(logPath);
  Receive(40);
  EXPECT_EQ(Log().size(), 50u + 50u + 26u);
  panel.OpenLogFile(logPath);
  Receive(1);
  EXPECT_EQ(Log(), "00 \r\n");
}

TEST_F(OutputPanelTest, AnUncreatableLogLeavesRowsAndCounterWorking) {
  panel.OpenLogFile(logPath);
  panel.OpenLogFile(folder / "missing" / "log.txt");
  EXPECT_FALSE(panel.log().IsOpen());
  Receive(3);
  panel.ShowByteCount(3);
  EXPECT_THAT(rows.entries, ElementsAre("00 01 02 "));
  EXPECT_EQ(counter.text, "3");
  EXPECT_EQ(FileContent(logPath), "") << "the old file receives nothing more";
}

TEST_F(OutputPanelTest, FlushPutsLoggedBytesIntoTheFileAtOnce) {
  panel.OpenLogFile(logPath);
  Receive(2);
  EXPECT_EQ(FileContent(logPath), "") << "still buffered";
  panel.FlushLog();
  EXPECT_EQ(FileContent(logPath), "00 01 \r\n");
}

TEST_F(OutputPanelTest, ScrollingMovesTheCaretToTheLastRow) {
  panel.ScrollOutputToEnd();
  EXPECT_EQ(rows.caretMoves, 0) << "nothing to show in an empty list";
  Receive(40);
  panel.ScrollOutputToEnd();
  EXPECT_EQ(rows.caret, 2);
  panel.RemoveAllRows();
  EXPECT_TRUE(rows.entries.empty());
}

}  // namespace
}  // namespace quorvel
