#include "iso7816/atr.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <numeric>

#include "iso7816/historical_bytes.h"
#include "iso7816/text_append.h"
#include "iso7816/transmission_rate.h"

namespace quorvel {
namespace {

using iso7816_text::AppendCount;
using iso7816_text::AppendDecimal;
using iso7816_text::AppendHex;
using iso7816_text::AppendHexBytes;
using iso7816_text::AppendHexDigit;

constexpr std::uint8_t kDirectTs = 0x3B;
constexpr std::uint8_t kInverseTs = 0x3F;
// What TS looks like when the convention switch is the wrong way round for the card.
constexpr std::uint8_t kInverseReadDirect = 0x03;
constexpr std::uint8_t kDirectReadInverse = 0x23;
constexpr std::size_t kLongestAtr = 33;
// Fd and Dd, the factors a card uses until TA1 or PPS says otherwise (ISO/IEC 7816-3).
constexpr unsigned kDefaultFi = 372;
constexpr unsigned kDefaultDi = 1;

enum Letter { kA, kB, kC, kD };
constexpr char kLetters[] = "ABCD";

// One interface byte as the walk meets it.
struct InterfaceByte {
  std::size_t index;  // in the received bytes
  Letter letter;
  int number;    // i of TAi
  int protocol;  // T named by TD(i-1); -1 for the bytes before TD1
};

// The layout of an ATR as far as the received bytes tell it.
struct AtrShape {
  bool known = false;            // every TDi arrived, so the length is known
  std::size_t interfaceEnd = 2;  // index after the interface bytes announced so far
  std::size_t historical = 0;    // K
  bool checkDue = false;         // a TDi named a protocol other than T=0
  std::uint16_t protocols = 0;   // bit T for every T named so far
  std::size_t missingInterface = 0;
  int missingTd = 0;  // number i of a TDi that never came, 0 if none
  std::size_t Length() const { return interfaceEnd + historical + (checkDue ? 1 : 0); }
};

// Walks T0 and the interface bytes of `atr` (at least TS and T0), calling `visit` for every
// interface byte received. Stops at a TDi that never came: what it announces is unknown.
template <typename Visit>
AtrShape WalkAtr(std::span<const std::uint8_t> atr, Visit&& visit) {
  AtrShape shape;
  shape.historical = atr[1] & 0x0F;
  unsigned presence = atr[1] >> 4;
  std::size_t at = 2;
  int number = 1;
  int protocol = -1;
  for (;;) {
    for (int letter = kA; letter <= kC; ++letter) {
      if ((presence & (1u << letter)) == 0) continue;
      if (at < atr.size()) {
        visit(InterfaceByte{at, static_cast<Letter>(letter), number, protocol});
      } else {
        ++shape.missingInterface;
      }
      ++at;
    }
    if ((presence & 0x08) == 0) break;
    if (at >= atr.size()) {
      ++shape.missingInterface;
      shape.missingTd = number;
      shape.interfaceEnd = at + 1;
      return shape;
    }
    visit(InterfaceByte{at, kD, number, protocol});
    const std::uint8_t td = atr[at++];
    protocol = td & 0x0F;
    shape.protocols |= static_cast<std::uint16_t>(1u << protocol);
    if (protocol != 0) shape.checkDue = true;
    presence = td >> 4;
    ++number;
  }
  if (shape.protocols == 0) shape.protocols = 1;  // no TD1: T=0
  shape.known = true;
  shape.interfaceEnd = at;
  return shape;
}

bool IsAtrStart(std::uint8_t ts) {
  return ts == kDirectTs || ts == kInverseTs;
}

void AppendMegahertz(std::string& text, unsigned tenths) {
  AppendDecimal(text, tenths / 10);
  if (tenths % 10 != 0) {
    text += '.';
    AppendDecimal(text, tenths % 10);
  }
  text += " MHz";
}

// "3.5712 MHz" for a clock in Hz: the digits after the point up to the last that is not 0.
void AppendClock(std::string& text, std::uint32_t hz) {
  AppendDecimal(text, hz / 1000000);
  if (unsigned rest = hz % 1000000; rest != 0) {
    text += '.';
    for (unsigned place = 100000; rest != 0; place /= 10) {
      text += static_cast<char>('0' + rest / place);
      rest %= place;
    }
  }
  text += " MHz";
}

// The global values an interface byte's meaning may depend on, gathered before explaining.
struct GlobalBytes {
  int ta1 = -1;
  int ta2 = -1;
  int firstProtocol = 0;  // T of TD1, the protocol the card prefers
  bool td1 = false;
  bool checkWrong = false;  // a TCK is due and wrong: no PPS follows such an ATR
};

// Builds the items of one ATR; the members keep the running state of the walk.
class AtrExplainer {
 public:
  AtrExplainer(std::span<const std::uint8_t> atr, std::uint32_t clockHz, ProtocolChoice choice,
               AtrDescription& out)
      : atr_(atr), clockHz_(clockHz), choice_(choice), out_(out) {}

  void Explain();

 private:
  std::string& Start(std::size_t offset, std::size_t length);
  std::string& StartByte(std::size_t index, const char* name);
  std::string& StartInterfaceByte(const InterfaceByte& byte);
  void AppendFollowing(std::string& text, unsigned presence, int number);
  void AppendBaud(std::string& text, unsigned fi, unsigned di);
  void AppendClockAbove(std::string& text, unsigned fmaxTenths, const char* whose);
  void AppendPpsProposal(std::string& text, std::uint8_t ta1);
  void ExplainTs();
  void ExplainT0(const AtrShape& shape);
  void ExplainInterfaceByte(const InterfaceByte& byte);
  void ExplainTa1(std::string& text, std::uint8_t value);
  void ExplainTb1(std::string& text, std::uint8_t value);
  void ExplainTc1(std::string& text, std::uint8_t value);
  void ExplainTd(std::string& text, std::uint8_t value, int number);
  void ExplainTa2(std::string& text, std::uint8_t value);
  void ExplainTc2(std::string& text, std::uint8_t value);
  void ExplainT1Byte(std::string& text, Letter letter, std::uint8_t value);
  void ExplainT15Byte(std::string& text, Letter letter, std::uint8_t value);
  void ExplainHistorical(const AtrShape& shape);
  void ExplainCheck(const AtrShape& shape);
  void ExplainEnd(const AtrShape& shape);
  void AppendLastByteName(std::string& text, const AtrShape& shape);

  std::span<const std::uint8_t> atr_;
  std::uint32_t clockHz_;
  ProtocolChoice choice_;
  AtrDescription& out_;
  GlobalBytes globals_;
  // The first TA, TB, TC after a TDi naming T=1 or T=15 carry that protocol's parameters.
  bool seenT1_[3] = {false, false, false};
  bool seenT15_[3] = {false, false, false};
  // Name of the last interface byte received, for the note on a short ATR.
  Letter lastLetter_ = kA;
  int lastNumber_ = 0;
};

std::string& AtrExplainer::Start(std::size_t offset, std::size_t length) {
  AtrItem& item = out_.items.emplace_back();
  item.offset = offset;
  item.length = length;
  item.text.reserve(128);
  return item.text;
}

std::string& AtrExplainer::StartByte(std::size_t index, const char* name) {
  std::string& text = Start(index, 1);
  text += name;
  text += ' ';
  AppendHex(text, atr_[index]);
  text += ": ";
  return text;
}

std::string& AtrExplainer::StartInterfaceByte(const InterfaceByte& byte) {
  std::string& text = Start(byte.index, 1);
  text += 'T';
  text += kLetters[byte.letter];
  AppendDecimal(text, static_cast<unsigned>(byte.number));
  text += ' ';
  AppendHex(text, atr_[byte.index]);
  text += ": ";
  return text;
}

// "TA2, TC2 and TD2 follow" for the presence bits of T0 or a TDi (i = number - 1).
void AtrExplainer::AppendFollowing(std::string& text, unsigned presence, int number) {
  int count = 0;
  const int total = std::popcount(presence & 0x0Fu);
  for (int letter = kA; letter <= kD; ++letter) {
    if ((presence & (1u << letter)) == 0) continue;
    if (count > 0) text += count == total - 1 ? " and " : ", ";
    text += 'T';
    text += kLetters[letter];
    AppendDecimal(text, static_cast<unsigned>(number));
    ++count;
  }
  if (count == 0)
    text += number == 1 ? "no interface bytes follow" : "no more interface bytes follow";
  if (count > 0) text += count == 1 ? " follows" : " follow";
}

// "9600 baud at the usual 3.5712 MHz clock", or at the reader's clock when one was given.
void AtrExplainer::AppendBaud(std::string& text, unsigned fi, unsigned di) {
  AppendDecimal(text, BaudRate(clockHz_, fi, di));
  text += clockHz_ == kDefaultReaderClockHz ? " baud at the usual " : " baud at the reader's ";
  AppendClock(text, clockHz_);
  text += " clock";
}

// A reader's clock above the card's f(max) runs the card beyond what it promises to take
// (ISO/IEC 7816-3, table 7).
void AtrExplainer::AppendClockAbove(std::string& text, unsigned fmaxTenths, const char* whose) {
  if (fmaxTenths == 0 || std::uint64_t{clockHz_} * 10 <= std::uint64_t{fmaxTenths} * 1000000)
    return;
  text += "; warning: the reader's ";
  AppendClock(text, clockHz_);
  text += " clock is above ";
  text += whose;
  text += " f(max) of ";
  AppendMegahertz(text, fmaxTenths);
}

// The PPS request a Reset would send for TA1, for the protocol the settings lead to.
void AtrExplainer::AppendPpsProposal(std::string& text, std::uint8_t ta1) {
  if (globals_.checkWrong) {
    text += " (none is sent: the TCK is wrong)";
    return;
  }
  AtrProtocols protocols;
  protocols.offered = globals_.td1 ? static_cast<std::uint16_t>(out_.protocols & 0x7FFF) : 1;
  protocols.first = static_cast<std::uint8_t>(globals_.firstProtocol);
  const std::optional<CardProtocol> protocol = ChooseProtocol(protocols, choice_);
  if (!protocol) {
    text += " (none is sent: the card offers no protocol the settings allow)";
    return;
  }
  const auto pps0 = static_cast<std::uint8_t>(0x10 | static_cast<std::uint8_t>(*protocol));
  const std::uint8_t pps[4] = {0xFF, pps0, ta1, static_cast<std::uint8_t>(0xFF ^ pps0 ^ ta1)};
  text += " (";
  AppendHexBytes(text, pps, 4);
  text += " for ";
  text += ProtocolName(*protocol);
  text += ')';
}

void AtrExplainer::ExplainTs() {
  const std::uint8_t ts = atr_[0];
  std::string& text = StartByte(0, "TS");
  switch (ts) {
    case kDirectTs:
      text += "direct convention";
      out_.convention = AtrConvention::kDirect;
      return;
    case kInverseTs:
      text += "inverse convention";
      out_.convention = AtrConvention::kInverse;
      return;
    case kInverseReadDirect:
      text +=
          "This looks like an inverse-convention card: tick Inv, set parity=o in the settings "
          "strings (through a serial port its characters have odd parity) and press Reset";
      return;
    case kDirectReadInverse:
      text +=
          "not an ATR start; this looks like a direct-convention card read with Inv ticked: "
          "untick Inv and press Reset";
      return;
    default:
      text += "not an ATR start: TS is 3B (direct convention) or 3F (inverse convention)";
      return;
  }
}

void AtrExplainer::ExplainT0(const AtrShape& shape) {
  std::string& text = StartByte(1, "T0");
  text += "Y1=";
  AppendHexDigit(text, atr_[1] >> 4);
  text += ": ";
  AppendFollowing(text, atr_[1] >> 4, 1);
  text += "; K=";
  AppendDecimal(text, shape.historical);
  text += shape.historical == 1 ? " historical byte" : " historical bytes";
  if ((atr_[1] & 0x10) != 0) return;
  text += "; no TA1: the card keeps Fd=372, Dd=1 (";
  AppendBaud(text, kDefaultFi, kDefaultDi);
  text += ')';
  AppendClockAbove(text, ClockRateOf(0x11).fmaxTenths, "the default");
}

void AtrExplainer::ExplainTa1(std::string& text, std::uint8_t value) {
  const ClockRateConversion rate = ClockRateOf(value);
  const unsigned di = BaudRateAdjustmentOf(value);
  text += "Fi=";
  if (rate.fi == 0) {
    text += "reserved";
  } else {
    AppendDecimal(text, rate.fi);
  }
  text += ", Di=";
  if (di == 0) {
    text += "reserved";
  } else {
    AppendDecimal(text, di);
  }
  if (rate.fi != 0) {
    text += ", f(max)=";
    AppendMegahertz(text, rate.fmaxTenths);
  }
  if (rate.fi == 0 || di == 0) {
    text += ": reserved values, no speed can be derived";
    return;
  }
  text += ": ";
  AppendBaud(text, rate.fi, di);
  if (rate.fi == kDefaultFi && di == kDefaultDi) {
    text += ", the default speed";
    return;
  }
  if (globals_.ta2 >= 0) {
    text += (globals_.ta2 & 0x10) != 0
                ? "; TA2 sets the specific mode with implicit values instead"
                : "; in the specific mode TA2 sets, the card speaks at this speed right away";
    return;
  }
  text += "; the card starts at Fd=372, Dd=1 (";
  AppendDecimal(text, BaudRate(clockHz_, kDefaultFi, kDefaultDi));
  text += " baud) and offers this speed by PPS";
  AppendPpsProposal(text, value);
}

void AtrExplainer::ExplainTb1(std::string& text, std::uint8_t value) {
  if (value == 0) {
    text += "no programming voltage VPP (TB1 is deprecated; readers ignore it)";
    return;
  }
  const unsigned pi1 = value & 0x1F;
  static constexpr const char* kCurrents[4] = {"25 mA", "50 mA", "100 mA", "reserved current"};
  text += "programming voltage VPP ";
  if (pi1 >= 5 && pi1 <= 25) {
    AppendDecimal(text, pi1);
    text += " V";
  } else {
    text += pi1 == 0 ? "not connected" : "reserved";
  }
  text += ", ";
  text += kCurrents[(value >> 5) & 0x03];
  if ((value & 0x80) != 0) text += ", bit 8 set where it must be 0";
  text += " (TB1 is deprecated; readers ignore it)";
}

void AtrExplainer::ExplainTc1(std::string& text, std::uint8_t value) {
  if (value == 255) {
    text +=
        "N=255: the smallest guard time, 12 etu between characters for T=0 and 11 etu for "
        "T=1";
    return;
  }
  text += "extra guard time N=";
  AppendDecimal(text, value);
  text += ": the reader leaves ";
  AppendDecimal(text, 12u + value);
  text += " etu from one character to the next";
  if (value == 0) text += " (no extra time)";
}

void AtrExplainer::ExplainTd(std::string& text, std::uint8_t value, int number) {
  const int protocol = value & 0x0F;
  text += "T=";
  AppendDecimal(text, static_cast<unsigned>(protocol));
  if (protocol == 15) {
    text += number == 1 ? " (not allowed in TD1)" : ", global interface bytes";
  } else if (protocol == 14) {
    text += " offered (not standardized by ISO)";
  } else if (protocol >= 2) {
    text += " (reserved for future use)";
  } else {
    text += " offered";
  }
  text += "; ";
  AppendFollowing(text, value >> 4, number + 1);
}

void AtrExplainer::ExplainTa2(std::string& text, std::uint8_t value) {
  text += "specific mode: T=";
  AppendDecimal(text, value & 0x0Fu);
  text += (value & 0x10) != 0 ? " right after the ATR, with implicit Fi and Di"
                              : " right after the ATR, with Fi and Di from TA1";
  text += (value & 0x80) != 0 ? "; the card cannot change to the negotiable mode"
                              : "; the card can change to the negotiable mode";
  if ((value & 0x60) != 0) text += "; bits 7 and 6 are reserved but set";
}

void AtrExplainer::ExplainTc2(std::string& text, std::uint8_t value) {
  text += "T=0 waiting time WI=";
  AppendDecimal(text, value);
  if (value == 0) {
    text += ": reserved";
    return;
  }
  unsigned fi = kDefaultFi;
  if (globals_.ta1 >= 0 && ClockRateOf(static_cast<std::uint8_t>(globals_.ta1)).fi != 0)
    fi = ClockRateOf(static_cast<std::uint8_t>(globals_.ta1)).fi;
  // WT = WI x 960 x Fi / f, at most this long between the leading edges of two characters.
  const unsigned long long micros =
      (static_cast<unsigned long long>(value) * 960 * fi * 1000000 + clockHz_ / 2) / clockHz_;
  text += ": the card may wait up to ";
  AppendDecimal(text, (micros + 500) / 1000);
  text += " ms between characters at ";
  AppendClock(text, clockHz_);
  text += " (960 x WI x Fi / f)";
}

void AtrExplainer::ExplainT1Byte(std::string& text, Letter letter, std::uint8_t value) {
  if (seenT1_[letter]) {
    text += "another T=1 byte, which ISO/IEC 7816-3 does not define";
    return;
  }
  seenT1_[letter] = true;
  switch (letter) {
    case kA:
      text += "T=1 IFSC=";
      AppendDecimal(text, value);
      text += value == 0x00 || value == 0xFF
                  ? " (reserved)"
                  : ": the card takes blocks with up to this many information bytes";
      return;
    case kB: {
      const unsigned bwi = value >> 4;
      const unsigned cwi = value & 0x0F;
      text += "T=1 BWI=";
      AppendDecimal(text, bwi);
      text += ", CWI=";
      AppendDecimal(text, cwi);
      text += ": block waiting time ";
      if (bwi > 9) {
        text += "reserved";
      } else {
        // BWT = 11 etu + 2^BWI x 960 x Fd / f, 2^BWI x 100 ms at 3.5712 MHz.
        const unsigned long long steps = (1ull << bwi) * 960 * kDefaultFi * 1000;
        text += "11 etu + ";
        AppendDecimal(text, (steps + clockHz_ / 2) / clockHz_);
        text += " ms";
      }
      text += ", character waiting time ";
      AppendDecimal(text, 11u + (1u << cwi));
      text += " etu";
      return;
    }
    default:
      text += "T=1 error detection code: ";
      text += (value & 0x01) != 0 ? "CRC" : "LRC";
      if ((value & 0xFE) != 0) text += " (the reserved bits 8 to 2 are set)";
      return;
  }
}

void AtrExplainer::ExplainT15Byte(std::string& text, Letter letter, std::uint8_t value) {
  if (seenT15_[letter]) {
    text += "another T=15 byte, which ISO/IEC 7816-3 does not define";
    return;
  }
  seenT15_[letter] = true;
  if (letter == kA) {
    static constexpr const char* kClockStop[4] = {"clock stop not supported",
                                                  "clock stop in state L", "clock stop in state H",
                                                  "clock stop in either state, no preference"};
    text += kClockStop[value >> 6];
    text += "; class";
    const unsigned classes = value & 0x3F;
    static constexpr const char* kClasses[3] = {"A (5 V)", "B (3 V)", "C (1.8 V)"};
    int listed = 0;
    for (int bit = 0; bit < 3; ++bit) {
      if ((classes & (1u << bit)) == 0) continue;
      text += listed == 0 ? (std::popcount(classes & 0x07u) > 1 ? "es " : " ") : ", ";
      text += kClasses[bit];
      ++listed;
    }
    if (listed == 0) text += ": none named";
    if ((classes & 0x38) != 0) text += "; reserved class bits set";
    return;
  }
  if (letter == kB) {
    text += "contact C6 (SPU) ";
    text += value == 0            ? "not used"
            : (value & 0x80) != 0 ? "in proprietary use"
                                  : "in standard use";
    return;
  }
  text += "a T=15 byte ISO/IEC 7816-3 does not define";
}

void AtrExplainer::ExplainInterfaceByte(const InterfaceByte& byte) {
  const std::uint8_t value = atr_[byte.index];
  lastLetter_ = byte.letter;
  lastNumber_ = byte.number;
  std::string& text = StartInterfaceByte(byte);
  if (byte.letter == kD) {
    ExplainTd(text, value, byte.number);
    return;
  }
  if (byte.number == 1) {
    if (byte.letter == kA) {
      ExplainTa1(text, value);
      AppendClockAbove(text, ClockRateOf(value).fmaxTenths, "the card's");
    }
    if (byte.letter == kB) ExplainTb1(text, value);
    if (byte.letter == kC) ExplainTc1(text, value);
    return;
  }
  if (byte.number == 2) {
    if (byte.letter == kA) ExplainTa2(text, value);
    if (byte.letter == kC) ExplainTc2(text, value);
    if (byte.letter == kB) {
      text += "programming voltage PI2=";
      AppendDecimal(text, value);
      text += " (TB2 is deprecated; readers ignore it)";
    }
    return;
  }
  if (byte.protocol == 1) {
    ExplainT1Byte(text, byte.letter, value);
  } else if (byte.protocol == 15) {
    ExplainT15Byte(text, byte.letter, value);
  } else {
    text += "specific to T=";
    AppendDecimal(text, static_cast<unsigned>(byte.protocol));
    text += ", which ISO/IEC 7816-3 gives no meaning here";
  }
}

void AtrExplainer::ExplainHistorical(const AtrShape& shape) {
  const std::size_t start = shape.interfaceEnd;
  if (shape.historical == 0 || start >= atr_.size()) return;
  const std::size_t received = std::min(shape.historical, atr_.size() - start);
  std::string& text = Start(start, received);
  text += "Historical bytes ";
  AppendHexBytes(text, atr_.data() + start, received);
  text += ": \"";
  for (std::size_t i = start; i < start + received; ++i)
    text += atr_[i] >= 0x20 && atr_[i] <= 0x7E ? static_cast<char>(atr_[i]) : '.';
  text += '"';
  if (received < shape.historical) {
    text += " (";
    AppendDecimal(text, received);
    text += " of ";
    AppendDecimal(text, shape.historical);
    text += ')';
    return;
  }
  ExplainHistoricalBytes(atr_.subspan(start, received), start, out_.items);
}

void AtrExplainer::ExplainCheck(const AtrShape& shape) {
  const std::size_t tck = shape.interfaceEnd + shape.historical;
  if (!shape.checkDue) {
    out_.check = AtrCheck::kNotNeeded;
    if (atr_.size() < tck) return;
    std::string& text = Start(tck, 0);
    text += "No TCK: right, as only T=0 is offered";
    return;
  }
  if (atr_.size() <= tck) {
    out_.check = AtrCheck::kMissing;
    return;
  }
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i <= tck; ++i) sum ^= atr_[i];
  std::string& text = StartByte(tck, "TCK");
  if (sum == 0) {
    out_.check = AtrCheck::kCorrect;
    text += "correct: the XOR of T0 through TCK is 00";
    return;
  }
  out_.check = AtrCheck::kWrong;
  text += "wrong: the XOR of T0 through TCK is ";
  AppendHex(text, sum);
  text += ", not 00; the right TCK is ";
  AppendHex(text, static_cast<std::uint8_t>(atr_[tck] ^ sum));
}

// "TD1", "T0" or "historical byte 3" for the last byte received of a short ATR.
void AtrExplainer::AppendLastByteName(std::string& text, const AtrShape& shape) {
  const std::size_t last = atr_.size() - 1;
  if (last == 0) {
    text += "TS";
  } else if (last == 1) {
    text += "T0";
  } else if (!shape.known || last < shape.interfaceEnd) {
    text += 'T';
    text += kLetters[lastLetter_];
    AppendDecimal(text, static_cast<unsigned>(lastNumber_));
  } else {
    text += "historical byte ";
    AppendDecimal(text, last - shape.interfaceEnd + 1);
  }
}

void AtrExplainer::ExplainEnd(const AtrShape& shape) {
  if (out_.complete) {
    if (out_.extraBytes == 0) return;
    std::string& text = Start(out_.atrLength, out_.extraBytes);
    text += "Extra bytes after the ATR: ";
    AppendHexBytes(text, atr_.data() + out_.atrLength, out_.extraBytes);
    if (!shape.checkDue) {
      std::uint8_t sum = 0;
      for (std::size_t i = 1; i <= out_.atrLength; ++i) sum ^= atr_[i];
      if (sum == 0)
        text +=
            " (the first would be a correct TCK, but the TCK shall be absent when only T=0 is "
            "offered)";
    }
    return;
  }
  std::string& text = Start(atr_.size(), 0);
  text += "The ATR ends after ";
  AppendLastByteName(text, shape);
  text += ": ";
  const std::size_t historicalStart = shape.interfaceEnd;
  const std::size_t historicalReceived =
      shape.known && atr_.size() > historicalStart
          ? std::min(shape.historical, atr_.size() - historicalStart)
          : 0;
  const std::size_t missingHistorical = shape.historical - historicalReceived;
  const bool missingCheck =
      shape.checkDue && out_.check != AtrCheck::kCorrect && out_.check != AtrCheck::kWrong;
  const int parts = (shape.missingInterface > 0) + (missingHistorical > 0) + missingCheck;
  int written = 0;
  auto separate = [&] {
    ++written;
    if (written > 1) text += written == parts ? " and " : ", ";
  };
  if (shape.missingInterface > 0) {
    separate();
    AppendCount(text, shape.missingInterface, "interface byte", "interface bytes");
  }
  if (missingHistorical > 0) {
    separate();
    AppendCount(text, missingHistorical, "historical byte", "historical bytes");
  }
  if (missingCheck) {
    separate();
    text += "the TCK";
  }
  const bool one =
      parts == 1 && (shape.missingInterface == 1 || missingHistorical == 1 || missingCheck);
  text += one ? " is missing" : " are missing";
  if (shape.missingTd > 0) {
    text += "; TD";
    AppendDecimal(text, static_cast<unsigned>(shape.missingTd));
    text += " may announce more";
  }
}

void AtrExplainer::Explain() {
  ExplainTs();
  if (!IsAtrStart(atr_[0])) {
    if (atr_.size() > 1) {
      std::string& text = Start(1, atr_.size() - 1);
      text += atr_.size() == 2 ? "The other byte is" : "The other ";
      if (atr_.size() > 2) {
        AppendDecimal(text, atr_.size() - 1);
        text += " bytes are";
      }
      text += " not decoded: without a valid TS there is no ATR";
    }
    return;
  }
  if (atr_.size() == 1) {
    out_.atrLength = 1;
    std::string& text = Start(1, 0);
    text += "The ATR ends after TS: T0 and the bytes it announces are missing";
    return;
  }
  // The meaning of TA1 depends on TA2 and TD1, and that of TC2 on TA1: gather them first.
  const AtrShape shape = WalkAtr(atr_, [this](const InterfaceByte& byte) {
    const std::uint8_t value = atr_[byte.index];
    if (byte.number == 1 && byte.letter == kA) globals_.ta1 = value;
    if (byte.number == 2 && byte.letter == kA) globals_.ta2 = value;
    if (byte.number == 1 && byte.letter == kD) {
      globals_.firstProtocol = value & 0x0F;
      globals_.td1 = true;
    }
  });
  out_.historicalCount = shape.historical;
  out_.protocols = shape.protocols;
  globals_.checkWrong =
      shape.known && shape.checkDue && atr_.size() >= shape.Length() &&
      std::accumulate(atr_.begin() + 1, atr_.begin() + shape.Length(), 0, std::bit_xor<>()) != 0;
  ExplainT0(shape);
  WalkAtr(atr_, [this](const InterfaceByte& byte) { ExplainInterfaceByte(byte); });
  if (shape.known) {
    ExplainHistorical(shape);
    ExplainCheck(shape);
    out_.complete = atr_.size() >= shape.Length();
  } else if (shape.checkDue) {
    out_.check = AtrCheck::kMissing;
  }
  out_.atrLength = out_.complete ? shape.Length() : atr_.size();
  out_.extraBytes = atr_.size() - out_.atrLength;
  ExplainEnd(shape);
  if (shape.known && shape.Length() > kLongestAtr) {
    std::string& text = Start(0, 0);
    text += "The ATR announces ";
    AppendDecimal(text, shape.Length());
    text += " bytes; ISO/IEC 7816-3 allows at most 33";
  }
}

}  // namespace

AtrDescription DecodeAtr(std::span<const std::uint8_t> received, std::uint32_t clockHz,
                         ProtocolChoice choice) {
  AtrDescription description;
  description.items.reserve(24);
  if (received.empty()) {
    AtrItem& item = description.items.emplace_back();
    item.text = "No ATR: the card sent nothing";
    return description;
  }
  // A clock of 0 Hz gives no time or speed; the usual clock stands in for it.
  AtrExplainer(received, clockHz != 0 ? clockHz : kDefaultReaderClockHz, choice, description)
      .Explain();
  return description;
}

std::string RenderAtr(const AtrDescription& description) {
  std::size_t size = 0;
  for (const AtrItem& item : description.items) size += item.text.size() + 1;
  std::string text;
  text.reserve(size);
  for (const AtrItem& item : description.items) {
    text += item.text;
    text += '\n';
  }
  return text;
}

std::optional<AtrProtocols> ReadAtrProtocols(std::span<const std::uint8_t> atr) {
  const std::optional<std::size_t> length = CompleteAtrLength(atr);
  if (!length || *length > atr.size()) return std::nullopt;
  AtrProtocols result;
  bool td1 = false;
  const AtrShape shape = WalkAtr(atr, [&](const InterfaceByte& byte) {
    const std::uint8_t value = atr[byte.index];
    if (byte.number == 1 && byte.letter == kD) {
      result.first = value & 0x0F;
      td1 = true;
    }
    if (byte.number == 2 && byte.letter == kA) {
      result.specificMode = true;
      result.specific = value & 0x0F;
    }
  });
  // T=15 names global interface bytes, not a protocol.
  result.offered = td1 ? static_cast<std::uint16_t>(shape.protocols & 0x7FFF) : 1;
  if (shape.checkDue) {
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < *length; ++i) sum ^= atr[i];
    result.checkWrong = sum != 0;
  }
  return result;
}

std::optional<CardProtocol> ChooseProtocol(const AtrProtocols& protocols, ProtocolChoice choice) {
  const auto fits = [choice](unsigned protocol) -> std::optional<CardProtocol> {
    if (protocol > 1) return std::nullopt;
    const auto card = static_cast<CardProtocol>(protocol);
    if (choice == ProtocolChoice::kT0 && card != CardProtocol::kT0) return std::nullopt;
    if (choice == ProtocolChoice::kT1 && card != CardProtocol::kT1) return std::nullopt;
    return card;
  };
  if (protocols.specificMode) return fits(protocols.specific);
  if (choice == ProtocolChoice::kByCard) {
    if (protocols.Offers(0)) return CardProtocol::kT0;
    if (protocols.Offers(1)) return CardProtocol::kT1;
    return std::nullopt;
  }
  const unsigned wanted = choice == ProtocolChoice::kT1 ? 1 : 0;
  if (!protocols.Offers(wanted)) return std::nullopt;
  return fits(wanted);
}

std::optional<std::size_t> CompleteAtrLength(std::span<const std::uint8_t> received) {
  if (received.size() < 2 || !IsAtrStart(received[0])) return std::nullopt;
  const AtrShape shape = WalkAtr(received, [](const InterfaceByte&) {});
  if (!shape.known) return std::nullopt;
  return shape.Length();
}

}  // namespace quorvel
