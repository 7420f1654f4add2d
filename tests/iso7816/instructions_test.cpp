#include "iso7816/instructions.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

struct InstructionCase {
  std::uint8_t cla;
  std::uint8_t ins;
  const char* name;
};

TEST(InstructionNameTest, NamesPerClass) {
  const InstructionCase cases[] = {
      // ISO/IEC 7816-4 under interindustry classes, with a logical channel and both INS forms.
      {0x00, 0xA4, "SELECT FILE"},
      {0x00, 0xB0, "READ BINARY"},
      {0x00, 0xB1, "READ BINARY"},
      {0x00, 0xD6, "UPDATE BINARY"},
      {0x00, 0xB2, "READ RECORD"},
      {0x00, 0xDC, "UPDATE RECORD"},
      {0x00, 0xC0, "GET RESPONSE"},
      {0x00, 0x20, "VERIFY"},
      {0x00, 0x24, "CHANGE REFERENCE DATA"},
      {0x00, 0x2C, "RESET RETRY COUNTER"},
      {0x00, 0x84, "GET CHALLENGE"},
      {0x00, 0x82, "EXTERNAL AUTHENTICATE"},
      {0x00, 0x88, "INTERNAL AUTHENTICATE"},
      {0x01, 0x70, "MANAGE CHANNEL"},
      {0x00, 0xCA, "GET DATA"},
      {0x0C, 0xDA, "PUT DATA"},
      {0x00, 0x0E, "ERASE BINARY"},
      {0x00, 0xE2, "APPEND RECORD"},
      {0x00, 0x04, "DEACTIVATE FILE"},
      {0x00, 0x44, "ACTIVATE FILE"},
      {0x00, 0xA2, "SEARCH RECORD"},
      {0x00, 0x10, "PERFORM SCQL OPERATION"},
      // GSM 11.11 where its names differ, and ISO/IEC 7816-4 for what it leaves out.
      {0xA0, 0xA4, "SELECT FILE"},
      {0xA0, 0x20, "VERIFY CHV"},
      {0xA0, 0x24, "CHANGE CHV"},
      {0xA0, 0x26, "DISABLE CHV"},
      {0xA0, 0x28, "ENABLE CHV"},
      {0xA0, 0x2C, "UNBLOCK CHV"},
      {0xA0, 0x88, "RUN GSM ALGORITHM"},
      {0xA0, 0xF2, "STATUS"},
      {0xA0, 0xA2, "SEEK"},
      {0xA0, 0x32, "INCREASE"},
      {0xA0, 0x04, "INVALIDATE"},
      {0xA0, 0x44, "REHABILITATE"},
      {0xA0, 0xC2, "ENVELOPE"},
      {0xA0, 0x12, "FETCH"},
      {0xA0, 0x14, "TERMINAL RESPONSE"},
      {0xA0, 0x10, "TERMINAL PROFILE"},
      {0xA0, 0x70, "MANAGE CHANNEL"},
      // UICC names under class 80, ISO/IEC 7816-4 behind them.
      {0x80, 0xF2, "STATUS"},
      {0x80, 0x12, "FETCH"},
      {0x80, 0xC0, "GET RESPONSE"},
      // Unknown instructions, instructions another class owns, the invalid class FF.
      {0x00, 0x00, "instruction 00"},
      {0x00, 0xF2, "instruction F2"},
      {0x00, 0x32, "instruction 32"},
      {0xA0, 0x6C, "instruction 6C"},
      {0x80, 0x50, "instruction 50"},
      {0xFF, 0xA4, "instruction A4"},
      {0x00, 0xFF, "instruction FF"},
  };
  for (const InstructionCase& c : cases) {
    EXPECT_EQ(InstructionName(c.cla, c.ins), c.name) << std::hex << int{c.cla} << ' ' << int{c.ins};
  }
}

}  // namespace
}  // namespace quorvel
