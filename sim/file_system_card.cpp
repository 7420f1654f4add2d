#include "sim/file_system_card.h"

#include <algorithm>

namespace quorvel {
namespace {

constexpr std::uint8_t kSimClass = 0xA0;
constexpr std::uint8_t kUiccClass = 0x00;
constexpr std::uint8_t kVerify = 0x20;
constexpr std::uint8_t kSelect = 0xA4;
constexpr std::uint8_t kReadBinary = 0xB0;
constexpr std::uint8_t kReadRecord = 0xB2;
constexpr std::uint8_t kGetResponse = 0xC0;
constexpr std::uint8_t kStatus = 0xF2;

constexpr std::uint16_t kDone = 0x9000;
constexpr std::uint16_t kMasterFile = 0x3F00;
constexpr std::uint16_t kCurrentApplication = 0x7FFF;
constexpr std::uint8_t kSelectByName = 0x04;
constexpr std::uint8_t kReturnFcp = 0x04;
constexpr std::uint8_t kNoAnswer = 0x0C;
constexpr std::uint8_t kAbsoluteRecord = 0x04;
constexpr std::uint8_t kPin1 = 0x01;
constexpr std::size_t kPinBytes = 8;

std::uint16_t WithLength(std::uint16_t status, std::size_t length) {
  return static_cast<std::uint16_t>(status | std::min<std::size_t>(length, 0xFF));
}

void AppendStatus(std::vector<std::uint8_t>& answer, std::uint16_t status) {
  answer.push_back(static_cast<std::uint8_t>(status >> 8));
  answer.push_back(static_cast<std::uint8_t>(status));
}

void AppendWord(std::vector<std::uint8_t>& bytes, std::size_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
  bytes.push_back(static_cast<std::uint8_t>(value));
}

bool IsDirectory(const FileSystemCard::File& file) {
  return file.structure == FileStructure::kNone;
}

bool IsRecordFile(const FileSystemCard::File& file) {
  return file.structure == FileStructure::kLinearFixed || file.structure == FileStructure::kCyclic;
}

}  // namespace

FileSystemCard::FileSystemCard(Kind kind, std::vector<File> files, Pin1 pin1)
    : kind_(kind), files_(std::move(files)), pin1_(std::move(pin1)) {
  Reset();
}

void FileSystemCard::Reset() {
  currentDf_ = FindById(kMasterFile);
  currentEf_ = kNone;
  pinVerified_ = false;
  pendingResponse_.clear();
}

std::uint16_t FileSystemCard::Sw(std::uint16_t gsm, std::uint16_t uicc) const {
  return kind_ == Kind::kGsmSim ? gsm : uicc;
}

std::optional<std::uint16_t> FileSystemCard::Refusal(const std::uint8_t (&header)[5]) {
  // An answer waits only for the command right after the one that announced it.
  if (header[1] != kGetResponse) pendingResponse_.clear();
  return RefusalFor(header);
}

bool FileSystemCard::TakesData(const std::uint8_t (&header)[5]) const {
  return header[1] == kSelect || (header[1] == kVerify && header[4] != 0);
}

std::optional<std::uint16_t> FileSystemCard::RefusalFor(const std::uint8_t (&header)[5]) const {
  const auto [cla, ins, p1, p2, p3] = header;
  if (cla != (kind_ == Kind::kGsmSim ? kSimClass : kUiccClass)) return 0x6E00;
  const std::uint16_t wrongP1P2 = Sw(0x6B00, 0x6A86);
  switch (ins) {
    case kSelect:
      if (kind_ == Kind::kGsmSim) {
        if (p1 != 0 || p2 != 0) return wrongP1P2;
        if (p3 != 2) return 0x6702;
        return std::nullopt;
      }
      if ((p1 != 0 && p1 != kSelectByName) || (p2 != kReturnFcp && p2 != kNoAnswer)) {
        return wrongP1P2;
      }
      if (p1 == 0 ? p3 != 2 : (p3 == 0 || p3 > 16)) return 0x6700;
      return std::nullopt;
    case kGetResponse:
      if (p1 != 0 || p2 != 0) return wrongP1P2;
      if (pendingResponse_.empty()) return Sw(0x6F00, 0x6985);
      if (p3 == 0 || p3 > pendingResponse_.size()) {
        return WithLength(Sw(0x6700, 0x6C00), pendingResponse_.size());
      }
      return std::nullopt;
    case kReadBinary:
    case kReadRecord:
      return ReadRefusal(ins, p1, p2, p3);
    case kStatus: {
      if (kind_ != Kind::kGsmSim) return 0x6E00;  // a UICC's STATUS is class 80
      if (p1 != 0 || p2 != 0) return wrongP1P2;
      const std::size_t length = GsmAnswer(currentDf_).size();
      if (p3 != length) return WithLength(0x6700, length);
      return std::nullopt;
    }
    case kVerify:
      if (p1 != 0) return wrongP1P2;
      if (p2 != kPin1) return Sw(0x6B00, 0x6A88);
      if (kind_ == Kind::kGsmSim && p3 != kPinBytes) return 0x6708;
      if (kind_ == Kind::kUicc && p3 != 0 && p3 != kPinBytes) return 0x6700;
      if (kind_ == Kind::kGsmSim && !pin1_.enabled) return 0x9808;  // CHV1 disabled
      if (pin1_.tries == 0) return Sw(0x9840, 0x6983);
      return std::nullopt;
    default:
      return Sw(0x6D00, 0x6D00);
  }
}

std::optional<std::uint16_t> FileSystemCard::ReadRefusal(std::uint8_t ins, std::uint8_t p1,
                                                         std::uint8_t p2, std::uint8_t p3) const {
  if (currentEf_ == kNone) return Sw(0x9400, 0x6986);
  const File& ef = files_[currentEf_];
  const bool records = ins == kReadRecord;
  if (records != IsRecordFile(ef)) return Sw(0x9408, 0x6981);
  if (!Readable(ef)) return Sw(0x9804, 0x6982);
  if (records) {
    if (p2 != kAbsoluteRecord) return Sw(0x6B00, 0x6A86);
    if (p1 == 0 || p1 > ef.content.size() / ef.recordLength) return Sw(0x9402, 0x6A83);
    if (p3 != ef.recordLength) return WithLength(Sw(0x6700, 0x6C00), ef.recordLength);
    return std::nullopt;
  }
  if (p1 & 0x80) return Sw(0x6B00, 0x6A86);  // no short file identifiers here
  const std::size_t offset = static_cast<std::size_t>(p1 << 8 | p2);
  if (offset >= ef.content.size()) return Sw(0x9402, 0x6B00);
  const std::size_t left = ef.content.size() - offset;
  if (p3 == 0 || p3 > left) return WithLength(Sw(0x6700, 0x6C00), left);
  return std::nullopt;
}

void FileSystemCard::Run(const std::uint8_t (&header)[5], std::span<const std::uint8_t> data,
                         std::vector<std::uint8_t>& answer) {
  const auto [cla, ins, p1, p2, p3] = header;
  switch (ins) {
    case kSelect:
      return AppendStatus(answer, Select(data, p1 == kSelectByName, p2 != kNoAnswer));
    case kGetResponse:
      answer.insert(answer.end(), pendingResponse_.begin(), pendingResponse_.begin() + p3);
      pendingResponse_.erase(pendingResponse_.begin(), pendingResponse_.begin() + p3);
      return AppendStatus(answer, pendingResponse_.empty()
                                      ? kDone
                                      : WithLength(Sw(0x9F00, 0x6100), pendingResponse_.size()));
    case kReadBinary: {
      const auto from = files_[currentEf_].content.begin() + (p1 << 8 | p2);
      answer.insert(answer.end(), from, from + p3);
      return AppendStatus(answer, kDone);
    }
    case kReadRecord: {
      const auto from = files_[currentEf_].content.begin() + (p1 - 1) * p3;
      answer.insert(answer.end(), from, from + p3);
      return AppendStatus(answer, kDone);
    }
    case kStatus: {
      const std::vector<std::uint8_t> status = GsmAnswer(currentDf_);
      answer.insert(answer.end(), status.begin(), status.end());
      return AppendStatus(answer, kDone);
    }
    case kVerify:
      return AppendStatus(answer, Verify(data));
  }
}

bool FileSystemCard::Readable(const File& file) const {
  return file.read == ReadAccess::kAlways || !pin1_.enabled || pinVerified_;
}

// Reachable by id: the MF, the current directory, its children, its parent and the parent's
// other directories; 7FFF is the application the current directory belongs to.
std::size_t FileSystemCard::FindById(std::uint16_t id) const {
  const auto find = [&](auto predicate) -> std::size_t {
    const auto found = std::find_if(files_.begin(), files_.end(), predicate);
    return found == files_.end() ? kNone : static_cast<std::size_t>(found - files_.begin());
  };
  if (id == kMasterFile) return find([](const File& f) { return f.id == kMasterFile; });
  if (currentDf_ >= files_.size()) return kNone;
  if (id == kCurrentApplication) {
    for (std::size_t at = currentDf_; at != kNone;) {
      if (!files_[at].aid.empty()) return at;
      const std::uint16_t parent = files_[at].parent;
      at = parent == 0 ? kNone
                       : find([&](const File& f) { return f.id == parent && IsDirectory(f); });
    }
    return kNone;
  }
  const File& df = files_[currentDf_];
  if (id == df.id) return currentDf_;
  if (const std::size_t child =
          find([&](const File& f) { return f.id == id && f.parent == df.id; });
      child != kNone) {
    return child;
  }
  if (id == df.parent) return find([&](const File& f) { return f.id == id && IsDirectory(f); });
  return find([&](const File& f) {
    return f.id == id && f.parent == df.parent && IsDirectory(f) && f.parent != 0;
  });
}

std::size_t FileSystemCard::FindByAid(std::span<const std::uint8_t> aid) const {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const auto& name = files_[i].aid;
    if (!name.empty() && aid.size() >= 5 && aid.size() <= name.size() &&
        std::equal(aid.begin(), aid.end(), name.begin())) {
      return i;
    }
  }
  return kNone;
}

std::uint16_t FileSystemCard::Select(std::span<const std::uint8_t> data, bool byName,
                                     bool withAnswer) {
  const std::size_t index =
      byName ? FindByAid(data) : FindById(static_cast<std::uint16_t>(data[0] << 8 | data[1]));
  if (index == kNone) return Sw(0x9404, 0x6A82);
  if (IsDirectory(files_[index])) {
    currentDf_ = index;
    currentEf_ = kNone;
  } else {
    currentEf_ = index;
  }
  if (!withAnswer) return kDone;
  pendingResponse_ = SelectAnswer(index);
  return WithLength(Sw(0x9F00, 0x6100), pendingResponse_.size());
}

std::uint16_t FileSystemCard::Verify(std::span<const std::uint8_t> pin) {
  // Without data VERIFY only asks whether PIN1 is still needed (TS 102 221 11.1.9).
  if (pin.empty()) {
    return (!pin1_.enabled || pinVerified_) ? kDone : WithLength(0x63C0, pin1_.tries);
  }
  std::vector<std::uint8_t> expected(pin1_.value.begin(), pin1_.value.end());
  expected.resize(kPinBytes, 0xFF);
  if (std::equal(pin.begin(), pin.end(), expected.begin(), expected.end())) {
    pin1_.tries = 3;
    pinVerified_ = true;
    return kDone;
  }
  pinVerified_ = false;
  --pin1_.tries;
  if (kind_ == Kind::kGsmSim) return pin1_.tries == 0 ? 0x9840 : 0x9804;
  return WithLength(0x63C0, pin1_.tries);
}

std::vector<std::uint8_t> FileSystemCard::SelectAnswer(std::size_t index) const {
  return kind_ == Kind::kGsmSim ? GsmAnswer(index) : FcpAnswer(index);
}

std::size_t FileSystemCard::Children(std::uint16_t id, bool directories) const {
  return static_cast<std::size_t>(std::count_if(files_.begin(), files_.end(), [&](const File& f) {
    return f.parent == id && IsDirectory(f) == directories && f.id != kMasterFile;
  }));
}

// GSM 11.11 9.2.1.
std::vector<std::uint8_t> FileSystemCard::GsmAnswer(std::size_t index) const {
  const File& file = files_[index];
  std::vector<std::uint8_t> bytes = {0x00, 0x00};
  if (IsDirectory(file)) {
    AppendWord(bytes, 0x1000);  // free memory
    AppendWord(bytes, file.id);
    const std::uint8_t chv1 = static_cast<std::uint8_t>(0x80 | pin1_.tries);
    bytes.insert(bytes.end(),
                 {static_cast<std::uint8_t>(file.id == kMasterFile ? 0x01 : 0x02), 0x00, 0x00, 0x00,
                  0x00, 0x00, 0x0A, static_cast<std::uint8_t>(pin1_.enabled ? 0x13 : 0x93),
                  static_cast<std::uint8_t>(Children(file.id, true)),
                  static_cast<std::uint8_t>(Children(file.id, false)), 0x04, 0x00, chv1, 0x8A, 0x83,
                  0x8A, 0x00});
    return bytes;
  }
  AppendWord(bytes, file.content.size());
  AppendWord(bytes, file.id);
  // Read ALW or CHV1, update CHV1 or ADM4, increase NEV, rehabilitate and invalidate ADM4.
  const bool pin = file.read == ReadAccess::kPin1;
  bytes.insert(bytes.end(),
               {0x04, 0x00, static_cast<std::uint8_t>(pin ? 0x11 : 0x04), 0xFF, 0x44, 0x01, 0x02,
                static_cast<std::uint8_t>(file.structure == FileStructure::kTransparent ? 0x00
                                          : file.structure == FileStructure::kCyclic    ? 0x03
                                                                                        : 0x01),
                static_cast<std::uint8_t>(file.recordLength)});
  return bytes;
}

// TS 102 221 11.1.1.3, as a real card writes them: the descriptor, id, DF name, proprietary
// information (UICC characteristics and free memory), life cycle, access rules in EF.ARR,
// the PIN status template (PIN1, PIN2, ADM1) or the file size.
std::vector<std::uint8_t> FileSystemCard::FcpAnswer(std::size_t index) const {
  const File& file = files_[index];
  std::vector<std::uint8_t> inner;
  if (IsDirectory(file)) {
    inner = {0x82, 0x02, 0x78, 0x21, 0x83, 0x02};
    AppendWord(inner, file.id);
    if (!file.aid.empty()) {
      inner.push_back(0x84);
      inner.push_back(static_cast<std::uint8_t>(file.aid.size()));
      inner.insert(inner.end(), file.aid.begin(), file.aid.end());
    }
    inner.insert(inner.end(), {0xA5, 0x07,
                               0x80, 0x01,
                               0x71, 0x83,
                               0x02, 0x10,
                               0x00, 0x8A,
                               0x01, 0x05,
                               0x8B, 0x03,
                               0x2F, 0x06,
                               0x01, 0xC6,
                               0x0C, 0x90,
                               0x01, static_cast<std::uint8_t>(pin1_.enabled ? 0xA0 : 0x20),
                               0x83, 0x01,
                               0x01, 0x83,
                               0x01, 0x81,
                               0x83, 0x01,
                               0x0A});
  } else {
    if (IsRecordFile(file)) {
      inner = {0x82, 0x05,
               static_cast<std::uint8_t>(file.structure == FileStructure::kCyclic ? 0x46 : 0x42),
               0x21};
      AppendWord(inner, file.recordLength);
      inner.push_back(static_cast<std::uint8_t>(file.content.size() / file.recordLength));
    } else {
      inner = {0x82, 0x02, 0x41, 0x21};
    }
    inner.insert(inner.end(), {0x83, 0x02});
    AppendWord(inner, file.id);
    const std::uint16_t arr = file.parent == kMasterFile ? 0x2F06 : 0x6F06;
    inner.insert(inner.end(), {0x8A, 0x01, 0x05, 0x8B, 0x03});
    AppendWord(inner, arr);
    inner.push_back(file.read == ReadAccess::kPin1 ? 0x02 : 0x01);
    inner.insert(inner.end(), {0x80, 0x02});
    AppendWord(inner, file.content.size());
    inner.insert(inner.end(), {0x88, 0x00});
  }
  // The template's tag and length go in front (built this way round, GCC 12 at -O3 warns of
  // a copy out of bounds that is none).
  const auto length = static_cast<std::uint8_t>(inner.size());
  inner.insert(inner.begin(), {0x62, length});
  return inner;
}

}  // namespace quorvel
