#include "sim/status_meaning.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

// The status words a walk meets at a file, by what they mean there (GSM 11.11 9.4 for class
// A0, ISO/IEC 7816-4 and TS 102 221 10.2.1 for class 00).
TEST(FileStatusTest, EachStatusWordMeansSomethingAtTheFile) {
  struct Case {
    std::uint16_t sw;
    std::uint8_t cla;
    FileStatus kind;
    const char* text;
  };
  const Case cases[] = {
      {0x9000, 0x00, FileStatus::kDone, "read"},
      {0x9404, 0xA0, FileStatus::kAbsent, "absent (94 04)"},
      {0x6A82, 0x00, FileStatus::kAbsent, "absent (6A 82)"},
      {0x9804, 0xA0, FileStatus::kNeedsPin, "needs CHV1, 2 tries left (98 04)"},
      {0x6982, 0x00, FileStatus::kNeedsPin, "needs CHV1, 2 tries left (69 82)"},
      {0x9810, 0xA0, FileStatus::kInvalidated, "invalidated (98 10)"},
      {0x6283, 0x00, FileStatus::kInvalidated, "invalidated (62 83)"},
      {0x9402, 0xA0, FileStatus::kOutOfRange, "out of range (94 02)"},
      {0x6B00, 0x00, FileStatus::kOutOfRange, "out of range (6B 00)"},
      {0x6A83, 0x00, FileStatus::kOutOfRange, "out of range (6A 83)"},
      {0x6E00, 0x00, FileStatus::kClassRefused, "refused: class not supported (6E 00)"},
      {0x6D00, 0x00, FileStatus::kClassRefused,
       "refused: instruction code not supported or "
       "invalid (6D 00)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyFileStatus(c.sw), c.kind) << c.text;
    EXPECT_EQ(FileStatusText(c.sw, c.cla, 0xB0, "CHV1, 2 tries left"), c.text);
  }
  EXPECT_EQ(FileStatusText(0x6982, 0x00, 0xB0, ""), "needs a PIN (69 82)");
  EXPECT_EQ(ClassifyFileStatus(0x6A86), FileStatus::kOther);
}

}  // namespace
}  // namespace quorvel
