#include "iso7816/status_words.h"

#include <string>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

struct StatusCase {
  std::uint8_t cla;
  std::uint8_t sw1;
  std::uint8_t sw2;
  int arrived;
  const char* text;
};

TEST(ExplainStatusWordTest, TableBoundaries) {
  const StatusCase cases[] = {
      {0x00, 0x90, 0x00, 2, "normal ending of the command"},
      {0xA0, 0x90, 0x00, 2, "normal ending of the command"},
      {0x00, 0x61, 0x10, 2, "16 bytes still available: send GET RESPONSE with P3=10"},
      {0x00, 0x61, 0x01, 2, "1 byte still available: send GET RESPONSE with P3=01"},
      {0x00, 0x61, 0x00, 2, "256 bytes still available: send GET RESPONSE with P3=00"},
      {0x00, 0x61, 0xFF, 2, "255 bytes still available: send GET RESPONSE with P3=FF"},
      {0x00, 0x6C, 0x1A, 2, "wrong length: resend with P3=1A (the card has 26 bytes)"},
      {0x00, 0x63, 0xBF, 2,
       "warning, memory changed; SW2 BF is not defined by ISO/IEC 7816-4 "
       "or GSM 11.11"},
      // 63 CX when no command is known, as in an ATR's status indicator.
      {0x00, 0x63, 0xC3, 2,
       "counter value 3: after VERIFY or another PIN command, 3 retries left; after other "
       "commands, success after 3 internal update retries"},
      {0x00, 0x63, 0xD0, 2,
       "warning, memory changed; SW2 D0 is not defined by ISO/IEC 7816-4 "
       "or GSM 11.11"},
      {0x00, 0x62, 0x82, 2,
       "warning, memory unchanged: end of file or record reached before "
       "reading P3 bytes"},
      {0x00, 0x62, 0x02, 2, "warning, memory unchanged: triggering by the card"},
      {0x00, 0x62, 0x80, 2, "warning, memory unchanged: triggering by the card"},
      {0x00, 0x64, 0x01, 2,
       "execution error, memory unchanged: immediate response required by "
       "the card"},
      {0x00, 0x65, 0x81, 2, "execution error, memory changed: memory failure"},
      {0x00, 0x67, 0x00, 2, "wrong length: no further indication"},
      {0x00, 0x68, 0x82, 2, "functions in CLA not supported: secure messaging not supported"},
      {0x00, 0x69, 0x82, 2, "command not allowed: security status not satisfied"},
      {0x00, 0x69, 0x83, 2, "command not allowed: authentication method blocked"},
      {0x00, 0x69, 0x85, 2, "command not allowed: conditions of use not satisfied"},
      {0x00, 0x69, 0x86, 2, "command not allowed: command not allowed (no current EF)"},
      {0x00, 0x6A, 0x80, 2,
       "wrong parameters P1-P2: incorrect parameters in the command data "
       "field"},
      {0x00, 0x6A, 0x82, 2, "wrong parameters P1-P2: file or application not found"},
      {0x00, 0x6A, 0x86, 2, "wrong parameters P1-P2: incorrect parameters P1-P2"},
      {0x00, 0x6B, 0x00, 2, "wrong parameters P1-P2"},
      {0x00, 0x6D, 0x00, 2, "instruction code not supported or invalid"},
      {0x00, 0x6E, 0x00, 2, "class not supported"},
      {0x00, 0x6F, 0x00, 2, "no precise diagnosis"},
      // GSM 11.11 under class A0; the same values under class 00 name what they would mean.
      {0xA0, 0x9F, 0x1A, 2, "26 bytes of response data: send GET RESPONSE with P3=1A"},
      {0xA0, 0x9F, 0x00, 2, "256 bytes of response data: send GET RESPONSE with P3=00"},
      {0x00, 0x9F, 0x1A, 2,
       "not defined by ISO/IEC 7816-4; under class A0, GSM 11.11 reads it "
       "as: 26 bytes of response data: send GET RESPONSE with P3=1A"},
      {0xA0, 0x91, 0x20, 2,
       "normal ending; the SIM has a proactive command of 32 bytes: send "
       "FETCH with P3=20"},
      {0xA0, 0x9E, 0x05, 2,
       "SIM data download error: 5 bytes of response data: send GET "
       "RESPONSE with P3=05"},
      {0xA0, 0x92, 0x02, 2, "command successful after 2 internal update retries"},
      {0xA0, 0x92, 0x40, 2, "memory problem"},
      {0xA0, 0x94, 0x04, 2, "file ID not found, or pattern not found"},
      {0xA0, 0x98, 0x04, 2,
       "access condition not fulfilled: wrong CHV or UNBLOCK CHV with at "
       "least one attempt left, or authentication failed"},
      {0xA0, 0x98, 0x40, 2, "wrong CHV or UNBLOCK CHV with no attempt left: it is blocked"},
      {0xA0, 0x6B, 0x00, 2, "incorrect parameter P1 or P2"},
      {0xA0, 0x6D, 0x05, 2, "unknown instruction code given in the command"},
      {0xA0, 0x6A, 0x82, 2, "wrong parameters P1-P2: file or application not found"},
      {0xA0, 0x94, 0x01, 2, "not defined by ISO/IEC 7816-4 or GSM 11.11"},
      // Unknown values and missing bytes.
      {0x00, 0x90, 0x01, 2,
       "normal ending; SW2 01 is not defined by ISO/IEC 7816-4 or GSM "
       "11.11"},
      {0x00, 0x12, 0x34, 2, "not defined by ISO/IEC 7816-4 or GSM 11.11"},
      {0x00, 0x6D, 0x01, 2,
       "not defined by ISO/IEC 7816-4; under class A0, GSM 11.11 reads it "
       "as: unknown instruction code given in the command"},
      {0x00, 0x00, 0x00, 0, "neither SW1 nor SW2 arrived: the card sent no status word"},
      {0x00, 0x6A, 0x00, 1, "SW2 never arrived; SW1 6A alone means: wrong parameters P1-P2"},
      {0xA0, 0x9F, 0x00, 1, "SW2 never arrived; SW1 9F alone means: response data available"},
      {0x00, 0x9F, 0x00, 1,
       "SW2 never arrived; SW1 9F is not defined by ISO/IEC 7816-4 or GSM "
       "11.11"},
      // ETSI TS 102 221 §10.2.1: 91 for every UICC class, 93 for its proprietary ones.
      {0x40, 0x91, 0x00, 1,
       "SW2 never arrived; SW1 91 alone means: normal ending, with a proactive command pending"},
      {0x00, 0x93, 0x00, 1,
       "SW2 never arrived; SW1 93 is not defined by ISO/IEC 7816-4 or GSM 11.11"},
      {0x80, 0x93, 0x00, 1, "SW2 never arrived; SW1 93 alone means: SIM Application Toolkit busy"},
  };
  for (const StatusCase& c : cases) {
    EXPECT_EQ(ExplainStatusWord(c.sw1, c.sw2, c.arrived, c.cla), c.text)
        << std::hex << int{c.cla} << ": " << int{c.sw1} << ' ' << int{c.sw2} << " arrived "
        << c.arrived;
  }
}

struct AnswerCase {
  std::uint8_t cla;
  std::uint8_t ins;
  std::uint8_t sw1;
  std::uint8_t sw2;
  const char* source;
  const char* text;
};

TEST(ExplainStatusWordTest, MeaningsByTheCommandsClassAndInstruction) {
  const AnswerCase cases[] = {
      // 63 CX: the counter's meaning depends on the command.
      {0x00, 0x20, 0x63, 0xC2, "ISO/IEC 7816-4:2005 §5.1.3 (VERIFY)",
       "2 retries left (counter value 2)"},
      {0x00, 0x20, 0x63, 0xC0, "ISO/IEC 7816-4:2005 §5.1.3 (VERIFY)",
       "0 retries left (counter value 0)"},
      {0x00, 0x24, 0x63, 0xCF, "ISO/IEC 7816-4:2005 §5.1.3 (CHANGE REFERENCE DATA)",
       "15 retries left (counter value 15)"},
      {0x00, 0x2C, 0x63, 0xC1, "ISO/IEC 7816-4:2005 §5.1.3, TS 102 221 §11.1.13 (UNBLOCK PIN)",
       "1 retry left (counter value 1)"},
      {0xA0, 0x20, 0x63, 0xC3, "ISO/IEC 7816-4 behind GSM 11.11 (VERIFY CHV)",
       "3 retries left (counter value 3)"},
      {0x00, 0xD6, 0x63, 0xC1, "TS 102 221 §10.2.1.3 (UPDATE BINARY)",
       "command successful after 1 internal update retry (counter value 1)"},
      {0x80, 0x32, 0x63, 0xC3, "TS 102 221 §10.2.1.3 (INCREASE)",
       "command successful after 3 internal update retries (counter value 3)"},
      // UICC classes: TS 102 221 §10.2.1.1 for any command of 0X, 4X, 6X, 8X, CX or EX.
      {0x00, 0xB0, 0x91, 0x20, "TS 102 221 §10.2.1.1",
       "normal ending; the UICC has a proactive command of 32 bytes: send FETCH with P3=20"},
      {0xE2, 0xF2, 0x91, 0x00, "TS 102 221 §10.2.1.1",
       "normal ending; the UICC has a proactive command of 256 bytes: send FETCH with P3=00"},
      {0x00, 0x75, 0x92, 0x05, "TS 102 221 §10.2.1.1",
       "normal ending, with information 05 on an ongoing data transfer session"},
      {0x10, 0xB0, 0x91, 0x20, "class 1X is no UICC class: TS 102 221 §10.2.1.1 as a hint",
       "not defined by ISO/IEC 7816-4; under class 80, ETSI TS 102 221 reads it as: normal "
       "ending; the UICC has a proactive command of 32 bytes: send FETCH with P3=20"},
      // Warnings, TS 102 221 §10.2.1.3 (RETRIEVE DATA, SET DATA, AUTHENTICATE).
      {0x80, 0xCB, 0x62, 0xF1, "TS 102 221 §10.2.1.3",
       "warning, memory unchanged: more data available"},
      {0x80, 0xCB, 0x62, 0xF2, "TS 102 221 §10.2.1.3",
       "warning, memory unchanged: more data available, and a proactive command pending"},
      {0x00, 0x88, 0x62, 0xF3, "TS 102 221 §10.2.1.3",
       "warning, memory unchanged: response data available"},
      {0x80, 0xDB, 0x63, 0xF1, "TS 102 221 §10.2.1.3",
       "warning, memory changed: more data expected"},
      {0xC1, 0xDB, 0x63, 0xF2, "TS 102 221 §10.2.1.3",
       "warning, memory changed: more data expected, and a proactive command pending"},
      {0x00, 0x73, 0x69, 0x89, "TS 102 221 §10.2.1.5",
       "command not allowed: secure channel, security not satisfied"},
      // Postponed processing and application errors: ENVELOPE, INCREASE and SUSPEND UICC are
      // class 80 commands; AUTHENTICATE and the secure channel are 0X, 4X and 6X ones.
      {0x80, 0xC2, 0x93, 0x00, "TS 102 221 §10.2.1.2 (ENVELOPE)",
       "SIM Application Toolkit busy: the command cannot run now, other commands can"},
      {0x00, 0xB0, 0x93, 0x00, "TS 102 221 §10.2.1.2: no 0X command answers it",
       "not defined by ISO/IEC 7816-4; under class 80, ETSI TS 102 221 reads it as: SIM "
       "Application Toolkit busy: the command cannot run now, other commands can"},
      {0x80, 0x32, 0x98, 0x50, "TS 102 221 §10.2.1.6 (INCREASE)",
       "INCREASE cannot be performed: maximum value reached"},
      {0x00, 0x88, 0x98, 0x62, "TS 102 221 §10.2.1.6, TS 31.102 §7.3 (AUTHENTICATE)",
       "authentication error, application specific (a USIM's AUTHENTICATE: incorrect MAC)"},
      {0x00, 0x73, 0x98, 0x63, "TS 102 221 §10.2.1.6 (MANAGE SECURE CHANNEL)",
       "security session or association expired"},
      {0x01, 0x88, 0x98, 0x64, "TS 31.102 §7.3 (AUTHENTICATE)",
       "authentication error, security context not supported"},
      {0x80, 0x76, 0x98, 0x64, "TS 102 221 §10.2.1.6 (SUSPEND UICC)",
       "minimum UICC suspension time is too long"},
      {0x00, 0x88, 0x98, 0x65, "TS 31.102 §7.3", "key freshness failure"},
      {0x00, 0x88, 0x98, 0x66, "TS 31.102 §7.3", "authentication error, no memory space available"},
      {0x00, 0x88, 0x98, 0x67, "TS 31.102 §7.3",
       "authentication error, no memory space available in EF MUK"},
      // Class A0 keeps GSM 11.11 §9.4.
      {0xA0, 0x32, 0x98, 0x50, "GSM 11.11 §9.4.4",
       "INCREASE cannot be performed: maximum value reached"},
      {0xA0, 0x12, 0x91, 0x20, "GSM 11.11 §9.4.1",
       "normal ending; the SIM has a proactive command of 32 bytes: send FETCH with P3=20"},
      {0xA0, 0x88, 0x98, 0x62, "GSM 11.11 §9.4 defines no 98 62",
       "not defined by ISO/IEC 7816-4 or GSM 11.11; under class 80, ETSI TS 102 221 reads it as: "
       "authentication error, application specific (a USIM's AUTHENTICATE: incorrect MAC)"},
      // GlobalPlatform Card (v2.3) under 80 and 84.
      {0x80, 0xF2, 0x63, 0x10, "GlobalPlatform §11.4 (GET STATUS)",
       "more data available: send GET STATUS again with P2 bit 1 set for the next ones"},
      {0x84, 0xCA, 0x63, 0x10, "GlobalPlatform §11.4 (GET STATUS), after another command",
       "more data available"},
      {0x84, 0x82, 0x63, 0x00, "GlobalPlatform SCP02 appendix E, SCP03 (EXTERNAL AUTHENTICATE)",
       "authentication of the host cryptogram failed"},
      {0x80, 0xE6, 0x63, 0x00, "ISO/IEC 7816-4:2005 §5.1.3: only EXTERNAL AUTHENTICATE differs",
       "warning, memory changed: no information given"},
      {0x00, 0x82, 0x63, 0x00, "ISO/IEC 7816-4:2005 §5.1.3",
       "warning, memory changed: no information given"},
      {0x80, 0xD8, 0x94, 0x84, "GlobalPlatform §11.8 (PUT KEY)", "algorithm not supported"},
      {0x84, 0xD8, 0x94, 0x85, "GlobalPlatform §11.8 (PUT KEY)", "invalid key check value"},
      {0x00, 0xD8, 0x94, 0x84, "GlobalPlatform §11.8 as a hint under class 00",
       "not defined by ISO/IEC 7816-4; under class 80, GlobalPlatform reads it as: algorithm not "
       "supported"},
      {0x00, 0xA4, 0x69, 0x99, "Java Card ISO7816.SW_APPLET_SELECT_FAILED (SELECT)",
       "command not allowed: applet selection failed"},
  };
  for (const AnswerCase& c : cases) {
    EXPECT_EQ(ExplainStatusWord(c.sw1, c.sw2, 2, c.cla, c.ins), c.text)
        << std::hex << int{c.cla} << ' ' << int{c.ins} << ": " << int{c.sw1} << ' ' << int{c.sw2}
        << " (" << c.source << ')';
  }
}

}  // namespace
}  // namespace quorvel
