#include "controls/field_text.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(FieldText, UsesUtf8WhenItIsAndWindows1252Otherwise) {
  struct Case {
    std::string bytes;
    bool utf8;
    std::string shown;
  };
  const Case cases[] = {
      {"plain", true, "plain"},
      {"Pr\xC3\xBC"
       "fung \xE2\x82\xAC",
       true, "Prüfung €"},
      {"Caf\xE9 \x80 \x93x\x94", false, "Café € “x”"},
      {"\x81\x8D\x8F\x90\x9D", false, "\u0081\u008D\u008F\u0090\u009D"},
      {"\xC3", false, "Ã"},                      // cut short
      {"\xC0\xAF", false, "À¯"},                 // overlong
      {"\xED\xA0\x80", false, "í\u00A0€"},       // a surrogate
      {"\xF4\x90\x80\x80", false, "ô\u0090€€"},  // past U+10FFFF
      {"\xF0\x9F\x92\xB3", true, "💳"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsUtf8(c.bytes), c.utf8) << c.shown;
    EXPECT_EQ(ShownText(c.bytes), c.shown);
  }
}

TEST(FieldText, EditedTextKeepsTheBytesItCameFrom) {
  struct Case {
    std::string text;  // as the user left it
    std::string shownFrom;
    std::string bytes;
  };
  const Case cases[] = {
      {"Café", "Caf\xE9", "Caf\xE9"},                         // untouched
      {"\u0081", "\x81", "\x81"},                             // untouched, unassigned byte
      {"Café au lait €", "Caf\xE9", "Caf\xE9 au lait \x80"},  // changed, still fits the code page
      {"Café 💳", "Caf\xE9", "Caf\xC3\xA9 \xF0\x9F\x92\xB3"},  // no byte for the card: UTF-8
      {"Ã©", "\xC3 x", "\xC3\x83\xC2\xA9"},  // its code-page bytes would read as UTF-8
      {"Prüfung 2",
       "Pr\xC3\xBC"
       "fung",
       "Pr\xC3\xBC"
       "fung 2"},  // UTF-8 stays UTF-8
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EditedBytes(c.text, c.shownFrom), c.bytes) << c.text;
    EXPECT_EQ(ShownText(EditedBytes(c.text, c.shownFrom)), c.text) << c.text;
  }
}

TEST(FieldText, FittingNeverCutsAUtf8Character) {
  EXPECT_EQ(FittingLength("abc", 5), 3u);
  EXPECT_EQ(FittingLength("ab\xE2\x82\xAC", 4), 2u);
  EXPECT_EQ(FittingLength("ab\xE2\x82\xAC"
                          "c",
                          5),
            5u);
  EXPECT_EQ(FittingLength("ab\xE9\x80\x80\x80", 4), 4u) << "not UTF-8: bytes are bytes";
}

}  // namespace
}  // namespace quorvel
