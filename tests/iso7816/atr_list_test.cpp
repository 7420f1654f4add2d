#include "iso7816/atr_list.h"

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/hex_bytes.h"
#include "support/temp_folder.h"

namespace quorvel {
namespace {

using testing::HexBytes;

// A small list in the file's format, with the forms the real one uses.
constexpr char kFixture[] =
    "#\n"
    "# smartcard_list.txt fixture\n"
    "#\n"
    "\n"
    "3B 02 14 50\n"
    "\tSchlumberger Multiflex 3k\n"
    "\n"
    "3B 02 14 ..\n"
    "\tAny card of this family\n"
    "\thttps://example.org/family\n"
    "\n"
    "3B 16 94 (71|72) 01 01 .. .. ..\n"
    "\tAlternatives are not read: this line is skipped\n"
    "\n"
    "3F 65 25 .. 2[2C] 09 [6,E]9 90 .0\n"
    "\tSesam Vitale\n"
    "\n"
    "3B 02 14 5\n"
    "\tAn odd digit: skipped\n"
    "\n"
    "3B 02 14 50\n"
    "\n"
    "3b 02 14 50\r\n"
    "\tLower-case, CR LF and no blank line before the next\r\n"
    "3B 16 94 [0-7]1 01 01 .. .. ..\n"
    "# a comment inside an entry\n"
    "\tGSM SIM\n";

struct ListCase {
  const char* atr;
  std::vector<std::vector<std::string>> descriptions;
};

TEST(AtrListTest, MatchesEveryEntryOfTheFixtureFile) {
  testing::TempFolder folder;
  const std::string path = folder / "smartcard_list.txt";
  std::ofstream(path, std::ios::binary) << kFixture;
  const AtrList list(path);
  const ListCase cases[] = {
      {"3B 02 14 50",
       {{"Schlumberger Multiflex 3k"},
        {"Any card of this family", "https://example.org/family"},
        {"Lower-case, CR LF and no blank line before the next"}}},
      {"3B 02 14 51", {{"Any card of this family", "https://example.org/family"}}},
      {"3F 65 25 00 2C 09 E9 90 00", {{"Sesam Vitale"}}},
      {"3F 65 25 FF 22 09 69 90 F0", {{"Sesam Vitale"}}},
      {"3F 65 25 00 2D 09 E9 90 00", {}},
      {"3F 65 25 00 2C 09 E9 90 01", {}},
      {"3B 16 94 71 01 01 00 27 00", {{"GSM SIM"}}},
      {"3B 16 94 81 01 01 00 27 00", {}},
      {"3B 02 14", {}},
      {"3B 02 14 50 00", {}},
      {"", {}},
  };
  for (const ListCase& c : cases) {
    std::vector<std::vector<std::string>> found;
    for (const AtrListMatch& match : list.Find(HexBytes(c.atr))) found.push_back(match.description);
    EXPECT_EQ(found, c.descriptions) << c.atr;
  }
  EXPECT_EQ(list.Size(), 5u);
  EXPECT_EQ(list.Find(HexBytes("3F 65 25 00 2C 09 E9 90 00")).front().pattern,
            "3F 65 25 .. 2[2C] 09 [6,E]9 90 .0");
}

TEST(AtrListTest, NoFileGivesNoCards) {
  testing::TempFolder folder;
  for (const std::string& path :
       {(folder / "missing.txt").string(), folder.path().string(), std::string()}) {
    const AtrList list(path);
    EXPECT_TRUE(list.Find(HexBytes("3B 02 14 50")).empty()) << path;
    EXPECT_EQ(list.Size(), 0u) << path;
  }
}

TEST(AtrListTest, ReadsTheFileOnlyWhenFirstAsked) {
  testing::TempFolder folder;
  const std::string path = folder / "smartcard_list.txt";
  const AtrList list(path);
  std::ofstream(path, std::ios::binary) << kFixture;
  EXPECT_EQ(list.Find(HexBytes("3B 16 94 71 01 01 00 27 00")).size(), 1u);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "";
  EXPECT_EQ(list.Size(), 5u);  // read once
}

struct ReceivedCase {
  const char* received;
  std::size_t atrLength;
  std::vector<std::string> cards;  // first description line of each card found
  std::vector<std::size_t> lengths;
};

TEST(AtrListTest, MatchesTheAnnouncedAtrAndThenEveryByteReceived) {
  const AtrList list = AtrList::FromText(
      "3B 10 14 50\n\tHSID6000 (PKI)\n\n3B 10 14\n\tThe ATR alone\n\n3B 10 ..\n\tAny TA1\n");
  const ReceivedCase cases[] = {
      // T0 10 announces TA1 only: 3B 10 14 is the ATR, and 50 a byte after it.
      {"3B 10 14 50", 3, {"The ATR alone", "Any TA1", "HSID6000 (PKI)"}, {3, 3, 4}},
      {"3B 10 14", 3, {"The ATR alone", "Any TA1"}, {3, 3}},
      {"3B 10 14 50 00", 3, {"The ATR alone", "Any TA1"}, {3, 3}},
      {"3B 10 15 50", 3, {"Any TA1"}, {3}},
      {"3B 10", 2, {}, {}},
  };
  for (const ReceivedCase& c : cases) {
    std::vector<std::string> cards;
    std::vector<std::size_t> lengths;
    for (const AtrListMatch& match : list.FindReceived(HexBytes(c.received), c.atrLength)) {
      cards.push_back(match.description.front());
      lengths.push_back(match.length);
    }
    EXPECT_EQ(cards, c.cards) << c.received;
    EXPECT_EQ(lengths, c.lengths) << c.received;
  }
}

struct PatternCase {
  const char* line;
  const char* matching;  // an ATR the pattern matches; nullptr when the line is unreadable
};

TEST(ParseAtrPatternTest, ReadsPlainHexWildcardsAndDigitClasses) {
  const PatternCase cases[] = {
      {"3B 02 14 50", "3B 02 14 50"},
      {"3b .. 0. .f", "3B 77 0E AF"},
      {"[0-3]F [A,C]0", "2F C0"},
      {"3B8F 01", "3B 8F 01"},
      {"  3B 02  ", "3B 02"},
      {"", nullptr},
      {"3", nullptr},
      {"3B 0", nullptr},
      {"3B G0", nullptr},
      {"3B (1|2)0", nullptr},
      {"3B 0[1-", nullptr},
      {"3B []0", nullptr},
      {"3B [3-1]0", nullptr},
      {"3B 0*", nullptr},
      {"\tSchlumberger", nullptr},
  };
  for (const PatternCase& c : cases) {
    const std::optional<AtrPattern> pattern = ParseAtrPattern(c.line);
    ASSERT_EQ(pattern.has_value(), c.matching != nullptr) << c.line;
    if (pattern) {
      EXPECT_TRUE(pattern->Matches(HexBytes(c.matching))) << c.line;
    }
  }
  const std::optional<AtrPattern> pattern = ParseAtrPattern("[0-3]F [A,C]0");
  EXPECT_FALSE(pattern->Matches(HexBytes("4F C0")));
  EXPECT_FALSE(pattern->Matches(HexBytes("2F B0")));
  EXPECT_FALSE(pattern->Matches(HexBytes("2F C0 00")));
}

}  // namespace
}  // namespace quorvel
