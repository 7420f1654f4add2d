#include "commands/script_expectation.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvel {
namespace {

Expectation Parsed(std::string_view text) {
  const ExpectationParse parse = ParseExpectation(text);
  EXPECT_FALSE(parse.error) << text << ": " << parse.error->what;
  return parse.expectation;
}

// Status words of ISO/IEC 7816-4: 90 00 done, 61 XX more data waits, 6A 82 file not found.
TEST(Expectation, MeetsStatusWordsAndDataByPattern) {
  const std::vector<std::uint8_t> data = {0x98, 0x94, 0x01};
  struct Case {
    const char* pattern;
    std::optional<std::uint8_t> sw1, sw2;
    std::vector<std::uint8_t> data;
    bool met;
  } cases[] = {
      {"", 0x6A, 0x82, {}, true},
      {"(90 00)", 0x90, 0x00, {}, true},
      {"(90 00)", 0x6A, 0x82, {}, false},
      {"(90 00, 61 XX)", 0x61, 0x1A, {}, true},
      {"(90 00, 61 XX)", 0x62, 0x1A, {}, false},
      {"(6X XX)", 0x6F, 0x00, {}, true},
      {"(6X XX)", 0x90, 0x00, {}, false},
      {"(9X 0X)", 0x91, 0x10, {}, false},
      {"(90 00)", std::nullopt, std::nullopt, {}, false},
      {"(90 00)", 0x90, std::nullopt, {}, false},
      {"[98 94 XX]", std::nullopt, std::nullopt, data, true},
      {"[98 94 0X]", 0x90, 0x00, data, true},
      {"[98 94 1X]", 0x90, 0x00, data, false},
      // TS 101 955 Annex B: a shorter pattern checks the answer's first bytes, [] none.
      {"[98 94]", 0x90, 0x00, data, true},
      {"[98 95]", 0x90, 0x00, data, false},
      {"[98 94 XX XX]", 0x90, 0x00, data, false},
      {"[]", 0x90, 0x00, {}, true},
      {"[]", 0x90, 0x00, data, true},
      {"(90 00) [98 XX XX]", 0x90, 0x00, data, true},
      {"(90 00) [98 XX XX]", 0x91, 0x00, data, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Meets(Parsed(c.pattern), {c.sw1, c.sw2, c.data}), c.met) << c.pattern;
  }
}

TEST(Expectation, ReportsWhatWasExpectedAndWhatCame) {
  const std::vector<std::uint8_t> data = {0x01, 0x03};
  struct Case {
    const char* pattern;
    std::optional<std::uint8_t> sw1, sw2;
    std::vector<std::uint8_t> data;
    const char* report;
  } cases[] = {
      {"(90 00)", 0x90, 0x00, {}, "expected 90 00: met"},
      {"(90 00)", 0x6A, 0x82, {}, "expected 90 00, got 6A 82"},
      {"(90 00, 61 XX)", 0x6A, std::nullopt, {}, "expected 90 00 or 61 XX, got 6A --"},
      {"(90 00)", std::nullopt, std::nullopt, {}, "expected 90 00, got -- --"},
      {"(90 00) [01 02 XX XX]", 0x90, 0x00, data,
       "expected 90 00 with data 01 02 XX XX, got 90 00 with data 01 03"},
      {"[01 0X]", 0x90, 0x00, data, "expected data 01 0X: met"},
      {"[]", 0x90, 0x00, data, "expected any data: met"},
      {"[01]", 0x90, 0x00, {}, "expected data 01, got no data"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExpectationReport(Parsed(c.pattern), {c.sw1, c.sw2, c.data}), c.report);
}

TEST(Expectation, TextIsThePatternInOneSpelling) {
  EXPECT_EQ(ExpectationText(Parsed("")), "");
  EXPECT_EQ(ExpectationText(Parsed("  (9000 ,61xx)")), "(90 00, 61 XX)");
  EXPECT_EQ(ExpectationText(Parsed("[0a Xb] (6x XX)")), "(6X XX) [0A XB]");
  EXPECT_EQ(ExpectationText(Parsed("[ ]")), "[]");
}

TEST(Expectation, RefusesPatternsItCannotRead) {
  struct Case {
    const char* text;
    std::size_t at;
    const char* what;
  } cases[] = {
      {"(9G 00)", 1, "expected a status byte (two hex digits or X), found \"9G\""},
      {"()", 1, "expected a status byte (two hex digits or X), found \")\""},
      {"(90 00,)", 7, "expected a status byte (two hex digits or X), found \")\""},
      {"(90)", 3, "expected a status byte (two hex digits or X), found \")\""},
      {"[XX", 3, "expected \"]\" to close the \"[\" at column 1, found the end of the line"},
      {"[0]", 1, "expected a data byte (two hex digits or X), found \"0]\""},
      {"90 00", 0, "expected \"(\" or \"[\", found \"90\""},
      {"[] []", 3, "expected one data pattern, found a second"},
      {"(90 00, 90 01, 90 02, 90 03, 90 04, 90 05, 90 06, 90 07, 90 08, 90 09, 90 0A, 90 0B, "
       "90 0C, 90 0D, 90 0E, 90 0F, 90 10)",
       113, "expected at most 16 status words in one pattern"},
  };
  for (const Case& c : cases) {
    const ExpectationParse parse = ParseExpectation(c.text);
    ASSERT_TRUE(parse.error) << c.text;
    EXPECT_EQ(parse.error->at, c.at) << c.text;
    EXPECT_EQ(parse.error->what, c.what) << c.text;
  }
  std::string longest = "[";
  for (int i = 0; i < 257; ++i) longest += "XX";
  EXPECT_EQ(ParseExpectation(longest + "]").error->what,
            "expected at most 256 bytes of expected data, found more");
}

}  // namespace
}  // namespace quorvel
