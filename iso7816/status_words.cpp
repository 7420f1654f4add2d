#include "iso7816/status_words.h"

#include "iso7816/text_append.h"

namespace quorvel {
namespace {

using iso7816_text::AppendDecimal;
using iso7816_text::AppendHex;

constexpr char kUndefined[] = "not defined by ISO/IEC 7816-4 or GSM 11.11";

// SW2 as a byte count, where 00 stands for 256 (a short P3 of 00 asks for 256 bytes).
unsigned ByteCount(std::uint8_t sw2) {
  return sw2 == 0 ? 256u : sw2;
}

// "<n> bytes<what>: send <command> with P3=<sw2>".
void AppendFetchAdvice(std::string& text, std::uint8_t sw2, const char* what, const char* command) {
  iso7816_text::AppendCount(text, ByteCount(sw2), "byte", "bytes");
  text += what;
  text += ": send ";
  text += command;
  text += " with P3=";
  AppendHex(text, sw2);
}

// What SW1 alone says under ISO/IEC 7816-4; nullptr when SW1 opens no group there.
const char* IsoGroup(std::uint8_t sw1) {
  switch (sw1) {
    case 0x61:
      return "response bytes still available";
    case 0x62:
      return "warning, memory unchanged";
    case 0x63:
      return "warning, memory changed";
    case 0x64:
      return "execution error, memory unchanged";
    case 0x65:
      return "execution error, memory changed";
    case 0x66:
      return "security-related issue";
    case 0x67:
      return "wrong length";
    case 0x68:
      return "functions in CLA not supported";
    case 0x69:
      return "command not allowed";
    case 0x6A:
      return "wrong parameters P1-P2";
    case 0x6B:
      return "wrong parameters P1-P2";
    case 0x6C:
      return "wrong length";
    case 0x6D:
      return "instruction code not supported or invalid";
    case 0x6E:
      return "class not supported";
    case 0x6F:
      return "no precise diagnosis";
    case 0x90:
      return "normal ending";
    default:
      return nullptr;
  }
}

// What SW1 alone says under GSM 11.11; nullptr when SW1 opens no group there.
const char* GsmGroup(std::uint8_t sw1) {
  switch (sw1) {
    case 0x67:
      return "incorrect parameter P3";
    case 0x6B:
      return "incorrect parameter P1 or P2";
    case 0x6D:
      return "unknown instruction code given in the command";
    case 0x6E:
      return "wrong instruction class given in the command";
    case 0x6F:
      return "technical problem with no diagnostic given";
    case 0x90:
      return "normal ending of the command";
    case 0x91:
      return "normal ending, with a proactive command waiting";
    case 0x92:
      return "memory management";
    case 0x93:
      return "SIM Application Toolkit busy";
    case 0x94:
      return "referencing management";
    case 0x98:
      return "security management";
    case 0x9E:
      return "SIM data download error, with response data";
    case 0x9F:
      return "response data available";
    default:
      return nullptr;
  }
}

// The detail ISO/IEC 7816-4 gives to a whole status word, for the groups whose SW2 names a
// case; nullptr when it gives none.
const char* IsoDetail(std::uint8_t sw1, std::uint8_t sw2) {
  switch ((sw1 << 8) | sw2) {
    case 0x6200:
      return "no information given";
    case 0x6281:
      return "part of the returned data may be corrupted";
    case 0x6282:
      return "end of file or record reached before reading P3 bytes";
    case 0x6283:
      return "selected file deactivated";
    case 0x6284:
      return "file control information not correctly formatted";
    case 0x6285:
      return "selected file in termination state";
    case 0x6286:
      return "no input data available from a sensor on the card";
    case 0x6287:
      return "at least one of the referenced records is deactivated";
    case 0x6300:
      return "no information given";
    case 0x6381:
      return "file filled up by the last write";
    case 0x6400:
      return "no information given";
    case 0x6401:
      return "immediate response required by the card";
    case 0x6500:
      return "no information given";
    case 0x6581:
      return "memory failure";
    case 0x6600:
      return "no information given";
    case 0x6700:
      return "no further indication";
    case 0x6800:
      return "no information given";
    case 0x6881:
      return "logical channel not supported";
    case 0x6882:
      return "secure messaging not supported";
    case 0x6883:
      return "last command of the chain expected";
    case 0x6884:
      return "command chaining not supported";
    case 0x6900:
      return "no information given";
    case 0x6981:
      return "command incompatible with file structure";
    case 0x6982:
      return "security status not satisfied";
    case 0x6983:
      return "authentication method blocked";
    case 0x6984:
      return "reference data not usable";
    case 0x6985:
      return "conditions of use not satisfied";
    case 0x6986:
      return "command not allowed (no current EF)";
    case 0x6987:
      return "expected secure messaging data objects missing";
    case 0x6988:
      return "incorrect secure messaging data objects";
    case 0x6A00:
      return "no information given";
    case 0x6A80:
      return "incorrect parameters in the command data field";
    case 0x6A81:
      return "function not supported";
    case 0x6A82:
      return "file or application not found";
    case 0x6A83:
      return "record not found";
    case 0x6A84:
      return "not enough memory space in the file";
    case 0x6A85:
      return "Lc inconsistent with TLV structure";
    case 0x6A86:
      return "incorrect parameters P1-P2";
    case 0x6A87:
      return "Lc inconsistent with parameters P1-P2";
    case 0x6A88:
      return "referenced data or reference data not found";
    case 0x6A89:
      return "file already exists";
    case 0x6A8A:
      return "DF name already exists";
    default:
      return nullptr;
  }
}

// ISO/IEC 7816-4's meaning of a whole status word; false when it defines none.
bool AppendIso(std::string& text, std::uint8_t sw1, std::uint8_t sw2) {
  const unsigned word = (sw1 << 8) | sw2;
  if (word == 0x9000) {
    text += "normal ending of the command";
    return true;
  }
  if (sw1 == 0x61) {
    AppendFetchAdvice(text, sw2, " still available", "GET RESPONSE");
    return true;
  }
  if (sw1 == 0x6C) {
    text += "wrong length: resend with P3=";
    AppendHex(text, sw2);
    text += " (the card has ";
    AppendDecimal(text, ByteCount(sw2));
    text += " bytes)";
    return true;
  }
  if (sw1 == 0x63 && (sw2 & 0xF0) == 0xC0) {
    iso7816_text::AppendCount(text, sw2 & 0x0F, "retry left", "retries left");
    text += " (counter value ";
    AppendDecimal(text, sw2 & 0x0F);
    text += ')';
    return true;
  }
  // These groups define SW2 00 alone, which says no more than the group.
  if (sw2 == 0x00 && (sw1 == 0x6B || sw1 == 0x6D || sw1 == 0x6E || sw1 == 0x6F)) {
    text += IsoGroup(sw1);
    return true;
  }
  const char* detail = IsoDetail(sw1, sw2);
  if (detail == nullptr && (sw1 == 0x62 || sw1 == 0x64) && sw2 >= 0x02 && sw2 <= 0x80)
    detail = "triggering by the card";
  if (detail == nullptr) return false;
  text += IsoGroup(sw1);
  text += ": ";
  text += detail;
  return true;
}

// GSM 11.11's meaning of a whole status word; false when it defines none.
bool AppendGsm(std::string& text, std::uint8_t sw1, std::uint8_t sw2) {
  switch (sw1) {
    case 0x91:
      text += "normal ending; the SIM has a proactive command of ";
      AppendFetchAdvice(text, sw2, "", "FETCH");
      return true;
    case 0x9E:
      text += "SIM data download error: ";
      AppendFetchAdvice(text, sw2, " of response data", "GET RESPONSE");
      return true;
    case 0x9F:
      AppendFetchAdvice(text, sw2, " of response data", "GET RESPONSE");
      return true;
    case 0x67:
    case 0x6B:
    case 0x6D:
    case 0x6E:
    case 0x6F:
      text += GsmGroup(sw1);
      return true;
    default:
      break;
  }
  if (sw1 == 0x92 && sw2 <= 0x0F) {
    text += "command successful after ";
    iso7816_text::AppendCount(text, sw2, "internal update retry", "internal update retries");
    return true;
  }
  const char* meaning = nullptr;
  switch ((sw1 << 8) | sw2) {
    case 0x9000:
      meaning = "normal ending of the command";
      break;
    case 0x9240:
      meaning = "memory problem";
      break;
    case 0x9300:
      meaning = "SIM Application Toolkit busy: the command cannot run now, other commands can";
      break;
    case 0x9400:
      meaning = "no EF selected";
      break;
    case 0x9402:
      meaning = "out of range (invalid address)";
      break;
    case 0x9404:
      meaning = "file ID not found, or pattern not found";
      break;
    case 0x9408:
      meaning = "file is inconsistent with the command";
      break;
    case 0x9802:
      meaning = "no CHV initialized";
      break;
    case 0x9804:
      meaning =
          "access condition not fulfilled: wrong CHV or UNBLOCK CHV with at least one attempt "
          "left, or authentication failed";
      break;
    case 0x9808:
      meaning = "in contradiction with CHV status";
      break;
    case 0x9810:
      meaning = "in contradiction with invalidation status";
      break;
    case 0x9840:
      meaning = "wrong CHV or UNBLOCK CHV with no attempt left: it is blocked";
      break;
    case 0x9850:
      meaning = "INCREASE cannot be performed: maximum value reached";
      break;
    default:
      return false;
  }
  text += meaning;
  return true;
}

// The meaning of SW1 on its own, when SW2 never came.
void AppendSw1Alone(std::string& text, std::uint8_t sw1, std::uint8_t cla) {
  text += "SW2 never arrived; SW1 ";
  AppendHex(text, sw1);
  const char* group = cla == 0xA0 && GsmGroup(sw1) != nullptr ? GsmGroup(sw1) : IsoGroup(sw1);
  if (group == nullptr) {
    text += " is ";
    text += kUndefined;
    return;
  }
  text += " alone means: ";
  text += group;
}

}  // namespace

std::string ExplainStatusWord(std::uint8_t sw1, std::uint8_t sw2, int arrived, std::uint8_t cla) {
  std::string text;
  text.reserve(96);
  if (arrived <= 0) {
    text = "neither SW1 nor SW2 arrived: the card sent no status word";
    return text;
  }
  if (arrived == 1) {
    AppendSw1Alone(text, sw1, cla);
    return text;
  }
  if (cla == 0xA0 && AppendGsm(text, sw1, sw2)) return text;
  if (AppendIso(text, sw1, sw2)) return text;
  if (cla != 0xA0) {
    // A SIM status word after a command of another class: say what it would mean.
    std::string gsm;
    if (AppendGsm(gsm, sw1, sw2)) {
      text = "not defined by ISO/IEC 7816-4; under class A0, GSM 11.11 reads it as: ";
      text += gsm;
      return text;
    }
  }
  if (const char* group = IsoGroup(sw1)) {
    text += group;
    text += "; SW2 ";
    AppendHex(text, sw2);
    text += " is ";
    text += kUndefined;
    return text;
  }
  text += kUndefined;
  return text;
}

}  // namespace quorvel
