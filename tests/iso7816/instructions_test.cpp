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
      // ETSI TS 102 221 clause 11: its commands under 0X, 4X and 6X (AUTHENTICATE
      // §11.1.16, MANAGE SECURE CHANNEL §11.1.20, TRANSACT DATA §11.1.21), not under 1X or 8X.
      {0x00, 0x88, "INTERNAL AUTHENTICATE (ISO/IEC 7816-4) or AUTHENTICATE (UICC)"},
      {0x60, 0x89, "AUTHENTICATE"},
      {0x00, 0x73, "MANAGE SECURE CHANNEL"},
      {0x41, 0x75, "TRANSACT DATA"},
      {0x10, 0x88, "INTERNAL AUTHENTICATE"},
      {0x80, 0x73, "instruction 73"},
      // TS 102 221 under 8X, CX and EX (STATUS §11.1.2, INCREASE §11.1.8, RETRIEVE DATA
      // §11.3.1), not under 9X; ISO/IEC 7816-4 behind them.
      {0xC1, 0xF2, "STATUS"},
      {0x81, 0x32, "INCREASE"},
      {0xE3, 0xCB, "RETRIEVE DATA"},
      {0x80, 0xC0, "GET RESPONSE"},
      {0x90, 0xF2, "instruction F2"},
      {0xB0, 0xCB, "GET DATA"},
      // TS 102 221 under class 80 alone (SUSPEND UICC §11.1.22, EXCHANGE CAPABILITIES §11.1.24,
      // TERMINAL PROFILE, ENVELOPE, FETCH §11.2); under 81 ISO/IEC 7816-7 names 12.
      {0x80, 0x12, "FETCH"},
      {0x80, 0x10, "TERMINAL PROFILE"},
      {0x80, 0x76, "SUSPEND UICC"},
      {0x81, 0x12, "PERFORM TRANSACTION OPERATION"},
      // GlobalPlatform Card (v2.3) under 80 and 84 (clause 11: DELETE 11.2, GET DATA
      // 11.3, GET STATUS 11.4, INSTALL 11.5, LOAD 11.6, PUT KEY 11.8, SET STATUS 11.10, STORE
      // DATA 11.11; INITIALIZE UPDATE, EXTERNAL AUTHENTICATE and the R-MAC session commands of
      // SCP02, appendix E), both names where TS 102 221 names the code otherwise.
      {0x80, 0xE6, "INSTALL"},
      {0x84, 0xE8, "LOAD"},
      {0x80, 0xE2, "STORE DATA"},
      {0x80, 0xE4, "DELETE"},
      {0x80, 0xF0, "SET STATUS"},
      {0x84, 0xD8, "PUT KEY"},
      {0x80, 0x50, "INITIALIZE UPDATE"},
      {0x84, 0x82, "EXTERNAL AUTHENTICATE"},
      {0x80, 0xCA, "GET DATA"},
      {0x80, 0xF2, "STATUS (UICC) or GET STATUS (GlobalPlatform)"},
      {0x84, 0xCB, "RETRIEVE DATA (UICC) or GET DATA (GlobalPlatform)"},
      {0x80, 0x7A, "EXCHANGE CAPABILITIES (UICC) or BEGIN R-MAC SESSION (GlobalPlatform)"},
      {0x84, 0x78, "GET IDENTITY (UICC) or END R-MAC SESSION (GlobalPlatform)"},
      {0x84, 0x7A, "BEGIN R-MAC SESSION"},
      {0x81, 0xE6, "TERMINATE DF"},
      // Unknown instructions, instructions another class owns, the invalid class FF.
      {0x00, 0x00, "instruction 00"},
      {0x00, 0xF2, "instruction F2"},
      {0x00, 0x32, "instruction 32"},
      {0xA0, 0x6C, "instruction 6C"},
      {0xFF, 0xA4, "instruction A4"},
      {0x00, 0xFF, "instruction FF"},
  };
  for (const InstructionCase& c : cases) {
    EXPECT_EQ(InstructionName(c.cla, c.ins), c.name) << std::hex << int{c.cla} << ' ' << int{c.ins};
  }
}

}  // namespace
}  // namespace quorvel
