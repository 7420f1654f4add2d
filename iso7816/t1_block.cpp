#include "iso7816/t1_block.h"

#include "iso7816/text_append.h"

namespace quorvel {
namespace {

using iso7816_text::AppendDecimal;
using iso7816_text::AppendHex;

constexpr std::uint8_t kRBlock = 0x80;
constexpr std::uint8_t kSBlock = 0xC0;
constexpr std::uint8_t kKindBits = 0xC0;
constexpr std::uint8_t kMoreBit = 0x20;
constexpr std::uint8_t kResponseBit = 0x20;
// Bits an I-block leaves reserved (5 to 1), an R-block's bit 6, an S-block's types past WTX.
constexpr std::uint8_t kIBlockReserved = 0x1F;
constexpr std::uint8_t kRBlockReserved = 0x20;
constexpr std::uint8_t kLastSType = 0x03;

bool PcbIsAllowed(std::uint8_t pcb) {
  switch (pcb & kKindBits) {
    case kSBlock:
      return (pcb & 0x1F) <= kLastSType;
    case kRBlock:
      return (pcb & kRBlockReserved) == 0 && (pcb & 0x0F) <= 2;
    default:
      return (pcb & kIBlockReserved) == 0;
  }
}

bool InformationIsAllowed(const T1Block& block) {
  const std::size_t length = block.information.size();
  switch (block.kind()) {
    case T1BlockKind::kInformation:
      return true;
    case T1BlockKind::kReceiveReady:
      return length == 0;
    case T1BlockKind::kSupervisory:
      break;
  }
  switch (block.type()) {
    case T1SType::kIfs:
      return length == 1 && block.information[0] != 0x00 && block.information[0] != 0xFF;
    case T1SType::kWtx:
      return length == 1 && block.information[0] != 0x00;
    default:
      return length == 0;
  }
}

const char* STypeName(T1SType type) {
  switch (type) {
    case T1SType::kResynch:
      return "RESYNCH";
    case T1SType::kIfs:
      return "IFS";
    case T1SType::kAbort:
      return "ABORT";
    case T1SType::kWtx:
      return "WTX";
  }
  return "reserved type";
}

void AppendEdcValue(std::string& text, std::uint16_t value, T1Edc edc) {
  if (edc == T1Edc::kCrc) AppendHex(text, static_cast<std::uint8_t>(value >> 8));
  AppendHex(text, static_cast<std::uint8_t>(value));
}

}  // namespace

T1BlockKind T1Block::kind() const {
  if ((pcb & 0x80) == 0) return T1BlockKind::kInformation;
  return (pcb & kKindBits) == kRBlock ? T1BlockKind::kReceiveReady : T1BlockKind::kSupervisory;
}

T1Block MakeIBlock(int sendSequence, bool more, std::span<const std::uint8_t> information) {
  const auto pcb = static_cast<std::uint8_t>(((sendSequence & 1) << 6) | (more ? kMoreBit : 0));
  return {0x00, pcb, {information.begin(), information.end()}};
}

T1Block MakeRBlock(int receiveSequence, T1RError error) {
  const auto pcb = static_cast<std::uint8_t>(kRBlock | ((receiveSequence & 1) << 4) |
                                             static_cast<std::uint8_t>(error));
  return {0x00, pcb, {}};
}

T1Block MakeSBlock(T1SType type, bool response, std::span<const std::uint8_t> information) {
  const auto pcb = static_cast<std::uint8_t>(kSBlock | (response ? kResponseBit : 0) |
                                             static_cast<std::uint8_t>(type));
  return {0x00, pcb, {information.begin(), information.end()}};
}

std::vector<std::uint8_t> EncodeT1Block(const T1Block& block, T1Edc edc) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kT1PrologueLength + block.information.size() + EdcLength(edc));
  bytes.push_back(block.nad);
  bytes.push_back(block.pcb);
  bytes.push_back(static_cast<std::uint8_t>(block.information.size()));
  bytes.insert(bytes.end(), block.information.begin(), block.information.end());
  const std::vector<std::uint8_t> code = EdcOf(edc, bytes);
  bytes.insert(bytes.end(), code.begin(), code.end());
  return bytes;
}

T1Decoded DecodeT1Block(std::span<const std::uint8_t> bytes, T1Edc edc) {
  T1Decoded decoded;
  const std::size_t edcLength = EdcLength(edc);
  if (bytes.size() >= kT1PrologueLength && bytes[2] == kT1InvalidLength) {
    decoded.verdict = T1Verdict::kInvalidLength;
    return decoded;
  }
  if (bytes.size() < kT1PrologueLength + edcLength) return decoded;
  const std::size_t whole = kT1PrologueLength + bytes[2] + edcLength;
  if (bytes.size() < whole) return decoded;
  if (bytes.size() > whole) {
    decoded.verdict = T1Verdict::kTooLong;
    return decoded;
  }
  decoded.block.nad = bytes[0];
  decoded.block.pcb = bytes[1];
  decoded.block.information.assign(bytes.begin() + kT1PrologueLength, bytes.end() - edcLength);
  const std::span<const std::uint8_t> covered = bytes.first(whole - edcLength);
  const std::span<const std::uint8_t> code = bytes.last(edcLength);
  if (edc == T1Edc::kLrc) {
    decoded.edcReceived = code[0];
    decoded.edcComputed = Lrc(covered);
  } else {
    decoded.edcReceived = static_cast<std::uint16_t>(code[0] | (code[1] << 8));
    decoded.edcComputed = Crc13239(covered);
  }
  if (decoded.edcReceived != decoded.edcComputed) {
    decoded.verdict = T1Verdict::kWrongEdc;
  } else if (!PcbIsAllowed(decoded.block.pcb)) {
    decoded.verdict = T1Verdict::kReservedPcb;
  } else if (!InformationIsAllowed(decoded.block)) {
    decoded.verdict = T1Verdict::kWrongInformation;
  } else {
    decoded.verdict = T1Verdict::kValid;
  }
  return decoded;
}

std::string DescribeT1Block(const T1Block& block, bool fromCard) {
  std::string text;
  switch (block.kind()) {
    case T1BlockKind::kInformation: {
      text += "I-block N(S)=";
      AppendDecimal(text, static_cast<unsigned>(block.sendSequence()));
      if (block.more()) text += ", more follows";
      const std::size_t length = block.information.size();
      text += ", ";
      if (length == 0) {
        text += "no bytes";
      } else {
        AppendDecimal(text, length);
        text += length == 1 ? " byte" : " bytes";
        text += fromCard ? " of the answer" : " of the command";
      }
      break;
    }
    case T1BlockKind::kReceiveReady:
      text += "R-block N(R)=";
      AppendDecimal(text, static_cast<unsigned>(block.receiveSequence()));
      switch (block.error()) {
        case T1RError::kNone:
          break;
        case T1RError::kEdcOrParity:
          text += ", EDC or parity error";
          break;
        case T1RError::kOther:
          text += ", other error";
          break;
        default:
          text += ", reserved error code ";
          AppendDecimal(text, static_cast<unsigned>(block.error()));
      }
      break;
    case T1BlockKind::kSupervisory:
      text += "S(";
      text += STypeName(block.type());
      text += block.response() ? " response)" : " request)";
      if (block.information.size() == 1) {
        if (block.type() == T1SType::kIfs) {
          text += " IFS=";
          AppendDecimal(text, block.information[0]);
        } else if (block.type() == T1SType::kWtx) {
          text += " x";
          AppendDecimal(text, block.information[0]);
        }
      }
      break;
  }
  if (block.nad != 0) {
    text += ", NAD ";
    AppendHex(text, block.nad);
  }
  return text;
}

std::string ExplainReceivedT1Block(std::span<const std::uint8_t> bytes, T1Edc edc) {
  const T1Decoded decoded = DecodeT1Block(bytes, edc);
  std::string text;
  switch (decoded.verdict) {
    case T1Verdict::kInvalidLength:
      return "not a block: LEN FF is invalid";
    case T1Verdict::kCutShort:
      text = "not a block: ";
      AppendDecimal(text, bytes.size());
      text += bytes.size() == 1 ? " byte" : " bytes";
      if (bytes.size() >= kT1PrologueLength) {
        text += " of the ";
        AppendDecimal(text, kT1PrologueLength + bytes[2] + EdcLength(edc));
        text += " its LEN announces";
      }
      return text;
    case T1Verdict::kTooLong:
      text = "not a block: ";
      AppendDecimal(text, bytes.size());
      text += " bytes, more than the ";
      AppendDecimal(text, kT1PrologueLength + bytes[2] + EdcLength(edc));
      text += " its LEN announces";
      return text;
    default:
      break;
  }
  text = DescribeT1Block(decoded.block, true);
  text += "; ";
  text += EdcName(edc);
  if (decoded.verdict == T1Verdict::kWrongEdc) {
    text += " wrong: ";
    AppendEdcValue(text, decoded.edcReceived, edc);
    text += " came, ";
    AppendEdcValue(text, decoded.edcComputed, edc);
    text += " is right";
    return text;
  }
  text += " right";
  if (decoded.verdict == T1Verdict::kReservedPcb) {
    text += "; PCB ";
    AppendHex(text, decoded.block.pcb);
    text += " has a reserved coding";
  } else if (decoded.verdict == T1Verdict::kWrongInformation) {
    text += "; its information field does not fit its kind";
  }
  return text;
}

}  // namespace quorvel
