#include "iso7816/status_words.h"

#include "iso7816/command_class.h"
#include "iso7816/text_append.h"

namespace quorvel {
namespace {

using iso7816_text::AppendDecimal;
using iso7816_text::AppendHex;

constexpr char kUndefined[] = "not defined by ISO/IEC 7816-4 or GSM 11.11";
constexpr char kToolkitBusy[] =
    "SIM Application Toolkit busy: the command cannot run now, other commands can";
constexpr char kIncreaseRefused[] = "INCREASE cannot be performed: maximum value reached";

// A status word and the command it answers.
struct Answer {
  std::uint8_t sw1;
  std::uint8_t sw2;
  std::uint8_t cla;
  std::optional<std::uint8_t> ins;
  unsigned Word() const { return (unsigned{sw1} << 8) | sw2; }
};

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

// True for the commands whose 63 CX counts the tries left of a PIN or other reference data:
// VERIFY, CHANGE REFERENCE DATA, DISABLE and ENABLE VERIFICATION REQUIREMENT and RESET RETRY
// COUNTER, in both INS forms (the UICC's VERIFY, CHANGE, DISABLE, ENABLE and UNBLOCK PIN).
bool CountsTriesLeft(std::uint8_t ins) {
  switch (ins) {
    case 0x20:
    case 0x21:
    case 0x24:
    case 0x25:
    case 0x26:
    case 0x28:
    case 0x2C:
    case 0x2D:
      return true;
    default:
      return false;
  }
}

// 63 CX: ISO/IEC 7816-4 leaves what the counter X counts to the command. After the PIN
// commands it is the tries left; after others ETSI TS 102 221 makes it the internal retries
// the command took to succeed.
void AppendCounter(std::string& text, unsigned counter, std::optional<std::uint8_t> ins) {
  using iso7816_text::AppendCount;
  if (!ins) {
    text += "counter value ";
    AppendDecimal(text, counter);
    text += ": after VERIFY or another PIN command, ";
    AppendCount(text, counter, "retry left", "retries left");
    text += "; after other commands, success after ";
    AppendCount(text, counter, "internal update retry", "internal update retries");
    return;
  }
  if (CountsTriesLeft(*ins)) {
    AppendCount(text, counter, "retry left", "retries left");
  } else {
    text += "command successful after ";
    AppendCount(text, counter, "internal update retry", "internal update retries");
  }
  text += " (counter value ";
  AppendDecimal(text, counter);
  text += ')';
}

// ISO/IEC 7816-4's meaning of a whole status word; false when it defines none.
bool AppendIso(std::string& text, std::uint8_t sw1, std::uint8_t sw2,
               std::optional<std::uint8_t> ins) {
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
    AppendCounter(text, sw2 & 0x0F, ins);
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
      meaning = kToolkitBusy;
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
      meaning = kIncreaseRefused;
      break;
    default:
      return false;
  }
  text += meaning;
  return true;
}

// What SW1 alone says on a UICC (ETSI TS 102 221) where ISO/IEC 7816-4 opens no group;
// nullptr elsewhere. `proprietary` for the classes 8X, CX and EX.
const char* UiccGroup(std::uint8_t sw1, bool proprietary) {
  switch (sw1) {
    case 0x91:
      return "normal ending, with a proactive command pending";
    case 0x92:
      return "normal ending, with information on a data transfer session";
    case 0x93:
      return proprietary ? "SIM Application Toolkit busy" : nullptr;
    case 0x98:
      return "application error";
    default:
      return nullptr;
  }
}

// A UICC's meaning of a whole status word, by ETSI TS 102 221 and, for the USIM's
// AUTHENTICATE, TS 31.102; false when they define none. `proprietary` for the classes 8X,
// CX and EX, whose commands alone answer 93 00 (ENVELOPE), 98 50 (INCREASE) and 98 64 as
// SUSPEND UICC does.
bool AppendUicc(std::string& text, std::uint8_t sw1, std::uint8_t sw2, bool proprietary) {
  if (sw1 == 0x91) {
    text += "normal ending; the UICC has a proactive command of ";
    AppendFetchAdvice(text, sw2, "", "FETCH");
    return true;
  }
  if (sw1 == 0x92) {
    text += "normal ending, with information ";
    AppendHex(text, sw2);
    text += " on an ongoing data transfer session";
    return true;
  }
  const char* meaning = nullptr;
  switch ((sw1 << 8) | sw2) {
    case 0x62F1:
      meaning = "more data available";
      break;
    case 0x62F2:
      meaning = "more data available, and a proactive command pending";
      break;
    case 0x62F3:
      meaning = "response data available";
      break;
    case 0x63F1:
      meaning = "more data expected";
      break;
    case 0x63F2:
      meaning = "more data expected, and a proactive command pending";
      break;
    case 0x6989:
      meaning = "secure channel, security not satisfied";
      break;
    case 0x9300:
      meaning = proprietary ? kToolkitBusy : nullptr;
      break;
    case 0x9850:
      meaning = proprietary ? kIncreaseRefused : nullptr;
      break;
    case 0x9862:
      meaning = "authentication error, application specific (a USIM's AUTHENTICATE: incorrect MAC)";
      break;
    case 0x9863:
      meaning = "security session or association expired";
      break;
    case 0x9864:
      meaning = proprietary ? "minimum UICC suspension time is too long"
                            : "authentication error, security context not supported";
      break;
    case 0x9865:
      meaning = "key freshness failure";
      break;
    case 0x9866:
      meaning = "authentication error, no memory space available";
      break;
    case 0x9867:
      meaning = "authentication error, no memory space available in EF MUK";
      break;
    default:
      break;
  }
  if (meaning == nullptr) return false;
  if (sw1 != 0x98 && sw1 != 0x93) {
    text += IsoGroup(sw1);
    text += ": ";
  }
  text += meaning;
  return true;
}

// GlobalPlatform's meaning of a whole status word after a card-management command of class
// 80 or 84; false when it defines none.
bool AppendGlobalPlatform(std::string& text, const Answer& answer) {
  switch (answer.Word()) {
    case 0x6310:
      text += "more data available";
      if (answer.ins == 0xF2) text += ": send GET STATUS again with P2 bit 1 set for the next ones";
      return true;
    case 0x6300:
      if (answer.ins != 0x82) return false;
      text += "authentication of the host cryptogram failed";
      return true;
    case 0x9484:
      text += "algorithm not supported";
      return true;
    case 0x9485:
      text += "invalid key check value";
      return true;
    default:
      return false;
  }
}

// A status word ISO/IEC 7816-4 leaves undefined for this class but another class's standard
// defines: names it with what it means there.
bool AppendOtherClassReading(std::string& text, const Answer& answer) {
  std::string meaning;
  const char* where = nullptr;
  if (!IsUiccProprietaryClass(answer.cla) && AppendUicc(meaning, answer.sw1, answer.sw2, true)) {
    where = "; under class 80, ETSI TS 102 221 reads it as: ";
  } else if (!IsGlobalPlatformClass(answer.cla) && AppendGlobalPlatform(meaning, answer)) {
    where = "; under class 80, GlobalPlatform reads it as: ";
  } else if (answer.cla != kGsmClass && AppendGsm(meaning, answer.sw1, answer.sw2)) {
    where = "; under class A0, GSM 11.11 reads it as: ";
  } else {
    return false;
  }
  text += answer.cla == kGsmClass ? kUndefined : "not defined by ISO/IEC 7816-4";
  text += where;
  text += meaning;
  return true;
}

// The meaning of SW1 on its own, when SW2 never came.
void AppendSw1Alone(std::string& text, std::uint8_t sw1, std::uint8_t cla) {
  text += "SW2 never arrived; SW1 ";
  AppendHex(text, sw1);
  const char* group = cla == kGsmClass ? GsmGroup(sw1) : nullptr;
  if (group == nullptr && IsUiccClass(cla)) group = UiccGroup(sw1, IsUiccProprietaryClass(cla));
  if (group == nullptr) group = IsoGroup(sw1);
  if (group == nullptr) {
    text += " is ";
    text += kUndefined;
    return;
  }
  text += " alone means: ";
  text += group;
}

}  // namespace

std::string ExplainStatusWord(std::uint8_t sw1, std::uint8_t sw2, int arrived, std::uint8_t cla,
                              std::optional<std::uint8_t> ins) {
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
  const Answer answer{sw1, sw2, cla, ins};
  if (cla == kGsmClass && AppendGsm(text, sw1, sw2)) return text;
  if (IsGlobalPlatformClass(cla) && AppendGlobalPlatform(text, answer)) return text;
  if (IsUiccClass(cla) && AppendUicc(text, sw1, sw2, IsUiccProprietaryClass(cla))) return text;
  if (answer.Word() == 0x6999) {
    // Java Card's answer to a SELECT whose applet refused to be selected.
    text += "command not allowed: applet selection failed";
    return text;
  }
  if (AppendIso(text, sw1, sw2, ins)) return text;
  if (AppendOtherClassReading(text, answer)) return text;
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
