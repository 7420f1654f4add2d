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
      {0x00, 0x63, 0xC0, 2, "0 retries left (counter value 0)"},
      {0x00, 0x63, 0xC1, 2, "1 retry left (counter value 1)"},
      {0x00, 0x63, 0xC3, 2, "3 retries left (counter value 3)"},
      {0x00, 0x63, 0xCF, 2, "15 retries left (counter value 15)"},
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
  };
  for (const StatusCase& c : cases) {
    EXPECT_EQ(ExplainStatusWord(c.sw1, c.sw2, c.arrived, c.cla), c.text)
        << std::hex << int{c.cla} << ": " << int{c.sw1} << ' ' << int{c.sw2} << " arrived "
        << c.arrived;
  }
}

}  // namespace
}  // namespace quorvel
