#include "port/demo_card_commands.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace quorvel {
namespace {

constexpr std::uint8_t kVerify = 0x20;
constexpr std::uint8_t kGetChallenge = 0x84;
constexpr std::uint8_t kSelect = 0xA4;
constexpr std::uint8_t kReadBinary = 0xB0;
constexpr std::uint8_t kGetResponse = 0xC0;
constexpr std::uint8_t kUpdateBinary = 0xD6;

constexpr std::uint16_t kDone = 0x9000;
constexpr std::uint16_t kMoreData = 0x6100;  // | bytes waiting for GET RESPONSE
constexpr std::uint16_t kPinWrong = 0x63C0;  // | tries left
constexpr std::uint16_t kWrongLength = 0x6700;
constexpr std::uint16_t kSecurityNotSatisfied = 0x6982;
constexpr std::uint16_t kPinBlocked = 0x6983;
constexpr std::uint16_t kConditionsNotSatisfied = 0x6985;
constexpr std::uint16_t kNoCurrentEf = 0x6986;
constexpr std::uint16_t kFunctionNotSupported = 0x6A81;
constexpr std::uint16_t kFileNotFound = 0x6A82;
constexpr std::uint16_t kWrongP1P2 = 0x6A86;
constexpr std::uint16_t kReferenceNotFound = 0x6A88;
constexpr std::uint16_t kOffsetOutside = 0x6B00;
constexpr std::uint16_t kExactLength = 0x6C00;  // | the length to ask for
constexpr std::uint16_t kInsNotSupported = 0x6D00;
constexpr std::uint16_t kClaNotSupported = 0x6E00;

constexpr std::uint16_t kMasterFile = 0x3F00;
constexpr std::uint8_t kSelectNoResponse = 0x0C;
constexpr std::uint8_t kPinReference = 0x01;
constexpr int kPinTries = 3;
constexpr std::array<std::uint8_t, 8> kPin = {'1', '2', '3', '4', 0xFF, 0xFF, 0xFF, 0xFF};
constexpr std::uint8_t kChallengeBytes = 8;
constexpr std::uint32_t kRandomSeed = 0x2545F491;

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

// 00 01 02 ...: a file for the longest transfers, easy to check by eye.
std::vector<std::uint8_t> Counting(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

std::uint16_t Offset(std::uint8_t p1, std::uint8_t p2) {
  return static_cast<std::uint16_t>((p1 & 0x7F) << 8 | p2);
}

void AppendStatus(std::vector<std::uint8_t>& answer, std::uint16_t status) {
  answer.push_back(static_cast<std::uint8_t>(status >> 8));
  answer.push_back(static_cast<std::uint8_t>(status));
}

std::uint16_t WithLength(std::uint16_t status, std::size_t length) {
  return static_cast<std::uint16_t>(status | std::min<std::size_t>(length, 0xFF));
}

}  // namespace

DemoCardCommands::DemoCardCommands()
    : files_{
          {kMasterFile, 0, true, Access::Always, Access::Never, {}},
          {0x2FE2, kMasterFile, false, Access::Always, Access::Never,
           {0x98, 0x94, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xF3}},
          {0x7F10, kMasterFile, true, Access::Always, Access::Never, {}},
          {0x6F01, 0x7F10, false, Access::Always, Access::Always,
           Bytes("Hello from the Quorvel demo card")},
          {0x6F02, 0x7F10, false, Access::Pin, Access::Pin, Bytes("Behind the PIN!!")},
          {0x6F03, 0x7F10, false, Access::Always, Access::Always, Counting(255)},
      },
      currentDf_(kMasterFile),
      pinTriesLeft_(kPinTries),
      randomState_(kRandomSeed) {}

std::optional<std::uint16_t> DemoCardCommands::Refusal(const std::uint8_t (&header)[5]) {
  // A response waits only for the command right after the one that announced it.
  if (header[1] != kGetResponse) pendingResponse_.clear();
  return RefusalFor(header);
}

void DemoCardCommands::Reset() {
  *this = DemoCardCommands();
}

bool DemoCardCommands::TakesData(const std::uint8_t (&header)[5]) const {
  const std::uint8_t ins = header[1];
  return ins == kSelect || ins == kUpdateBinary || ins == kVerify;
}

std::optional<std::uint16_t> DemoCardCommands::RefusalFor(const std::uint8_t (&header)[5]) const {
  const auto [cla, ins, p1, p2, p3] = header;
  if (cla != 0x00) return kClaNotSupported;
  switch (ins) {
    case kSelect:
      if (p1 != 0 || (p2 != 0 && p2 != kSelectNoResponse)) return kWrongP1P2;
      if (p3 != 2) return kWrongLength;
      return std::nullopt;
    case kReadBinary:
    case kUpdateBinary: {
      if (p1 & 0x80) return kFunctionNotSupported;  // no short file identifiers here
      const File* ef = CurrentEf();
      if (ef == nullptr) return kNoCurrentEf;
      if (auto denied = Denied(ins == kReadBinary ? ef->read : ef->update)) return denied;
      const std::size_t offset = Offset(p1, p2);
      if (offset >= ef->content.size()) return kOffsetOutside;
      const std::size_t left = ef->content.size() - offset;
      if (p3 != 0 && p3 <= left) return std::nullopt;
      return ins == kReadBinary ? WithLength(kExactLength, left) : kWrongLength;
    }
    case kGetChallenge:
      if (p1 != 0 || p2 != 0) return kWrongP1P2;
      if (p3 != kChallengeBytes) return WithLength(kExactLength, kChallengeBytes);
      return std::nullopt;
    case kVerify:
      if (p1 != 0) return kWrongP1P2;
      if (p2 != kPinReference) return kReferenceNotFound;
      if (p3 != 0 && p3 != kPin.size()) return kWrongLength;
      return std::nullopt;
    case kGetResponse:
      if (p1 != 0 || p2 != 0) return kWrongP1P2;
      if (pendingResponse_.empty()) return kConditionsNotSatisfied;
      if (p3 == 0 || p3 > pendingResponse_.size()) {
        return WithLength(kExactLength, pendingResponse_.size());
      }
      return std::nullopt;
    default:
      return kInsNotSupported;
  }
}

void DemoCardCommands::Run(const std::uint8_t (&header)[5], std::span<const std::uint8_t> data,
                           std::vector<std::uint8_t>& answer) {
  const auto [cla, ins, p1, p2, p3] = header;
  switch (ins) {
    case kSelect: {
      std::uint16_t status = Select(static_cast<std::uint16_t>(data[0] << 8 | data[1]));
      if (status == kDone && p2 != kSelectNoResponse) {
        const File* selected = Find(currentEf_ != 0 ? currentEf_ : currentDf_);
        pendingResponse_ = ControlParameters(*selected);
        status = WithLength(kMoreData, pendingResponse_.size());
      }
      return AppendStatus(answer, status);
    }
    case kReadBinary: {
      const auto from = CurrentEf()->content.begin() + Offset(p1, p2);
      answer.insert(answer.end(), from, from + p3);
      return AppendStatus(answer, kDone);
    }
    case kUpdateBinary:
      std::copy(data.begin(), data.end(), CurrentEf()->content.begin() + Offset(p1, p2));
      return AppendStatus(answer, kDone);
    case kGetChallenge:
      for (int i = 0; i < kChallengeBytes; ++i) answer.push_back(NextRandomByte());
      return AppendStatus(answer, kDone);
    case kVerify:
      return AppendStatus(answer, Verify(data));
    case kGetResponse: {
      answer.insert(answer.end(), pendingResponse_.begin(), pendingResponse_.begin() + p3);
      pendingResponse_.erase(pendingResponse_.begin(), pendingResponse_.begin() + p3);
      return AppendStatus(answer, pendingResponse_.empty()
                                      ? kDone
                                      : WithLength(kMoreData, pendingResponse_.size()));
    }
  }
}

std::optional<std::uint16_t> DemoCardCommands::Denied(Access access) const {
  if (access == Access::Never) return kConditionsNotSatisfied;
  if (access == Access::Pin && !pinVerified_) return kSecurityNotSatisfied;
  return std::nullopt;
}

const DemoCardCommands::File* DemoCardCommands::Find(std::uint16_t id) const {
  const auto found =
      std::find_if(files_.begin(), files_.end(), [id](const File& f) { return f.id == id; });
  return found == files_.end() ? nullptr : &*found;
}

DemoCardCommands::File* DemoCardCommands::CurrentEf() {
  return const_cast<File*>(std::as_const(*this).CurrentEf());
}

const DemoCardCommands::File* DemoCardCommands::CurrentEf() const {
  return currentEf_ == 0 ? nullptr : Find(currentEf_);
}

// Reachable: the MF, the files of the current DF, and the current DF's parent.
std::uint16_t DemoCardCommands::Select(std::uint16_t id) {
  const File* file = Find(id);
  const bool reachable = file != nullptr && (id == kMasterFile || file->parent == currentDf_ ||
                                             Find(currentDf_)->parent == id);
  if (!reachable) return kFileNotFound;
  if (file->dedicated) {
    currentDf_ = id;
    currentEf_ = 0;
  } else {
    currentEf_ = id;
  }
  return kDone;
}

std::uint16_t DemoCardCommands::Verify(std::span<const std::uint8_t> pin) {
  if (pinTriesLeft_ == 0) return kPinBlocked;
  // Without data VERIFY only asks whether the PIN is still needed.
  if (pin.empty()) return pinVerified_ ? kDone : WithLength(kPinWrong, pinTriesLeft_);
  if (std::equal(pin.begin(), pin.end(), kPin.begin(), kPin.end())) {
    pinTriesLeft_ = kPinTries;
    pinVerified_ = true;
    return kDone;
  }
  pinVerified_ = false;
  --pinTriesLeft_;
  return WithLength(kPinWrong, pinTriesLeft_);
}

// The file control parameters: descriptor, identifier and, for an EF, its size.
std::vector<std::uint8_t> DemoCardCommands::ControlParameters(const File& file) const {
  const auto id = [&] {
    return std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(file.id >> 8),
                                       static_cast<std::uint8_t>(file.id)};
  }();
  if (file.dedicated) return {0x62, 0x07, 0x82, 0x01, 0x38, 0x83, 0x02, id[0], id[1]};
  const auto size = file.content.size();
  return {0x62,
          0x0B,
          0x82,
          0x01,
          0x01,
          0x83,
          0x02,
          id[0],
          id[1],
          0x80,
          0x02,
          static_cast<std::uint8_t>(size >> 8),
          static_cast<std::uint8_t>(size)};
}

std::uint8_t DemoCardCommands::NextRandomByte() {
  // xorshift32: random-looking, and the same after every reset.
  randomState_ ^= randomState_ << 13;
  randomState_ ^= randomState_ >> 17;
  randomState_ ^= randomState_ << 5;
  return static_cast<std::uint8_t>(randomState_ >> 24);
}

}  // namespace quorvel
