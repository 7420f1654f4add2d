#include "cli/json_string.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(JsonStringTest, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonString(""), "\"\"");
  EXPECT_EQ(JsonString("say \"hi\" \\ now"), "\"say \\\"hi\\\" \\\\ now\"");
  EXPECT_EQ(JsonString(std::string("\n\r\t\x01\x1F\x7F\0", 7)),
            "\"\\n\\r\\t\\u0001\\u001f\\u007f\\u0000\"");
  // Text as the window shows it: UTF-8 passes, C1 controls (bytes 81 8D 8F 90 9D of a
  // Windows-1252 field) are escaped.
  EXPECT_EQ(JsonString("Caf\xC3\xA9 \xE2\x82\xAC \xC2\x81\xC2\x9F\xC2\xA0"),
            "\"Caf\xC3\xA9 \xE2\x82\xAC \\u0081\\u009f\xC2\xA0\"");
}

}  // namespace
}  // namespace quorvel
