#include "sim/file_walker.h"

#include <algorithm>
#include <map>
#include <string>

#include "sim/application_directory.h"
#include "sim/file_content.h"
#include "sim/hex_text.h"
#include "sim/imsi.h"
#include "sim/status_meaning.h"

namespace quorvel {

const char* CardKindName(CardKind kind) {
  switch (kind) {
    case CardKind::kUicc:
      return "UICC";
    case CardKind::kGsmSim:
      return "GSM SIM";
    case CardKind::kUnknown:
      break;
  }
  return "unknown card";
}

namespace {

constexpr std::uint8_t kUiccClass = 0x00;
constexpr std::uint8_t kSimClass = 0xA0;
constexpr std::uint8_t kSelect = 0xA4;
constexpr std::uint8_t kReadBinary = 0xB0;
constexpr std::uint8_t kReadRecord = 0xB2;
constexpr std::uint8_t kGetResponse = 0xC0;
constexpr std::uint8_t kReturnFcp = 0x04;
constexpr std::uint8_t kSelectByName = 0x04;
constexpr std::uint8_t kAbsoluteRecord = 0x04;
constexpr std::size_t kLongestRead = 255;
constexpr std::size_t kMostRecords = 254;
// More 61 XX in a row than any answer needs.
constexpr int kMostFetches = 16;

CardCommand Command(std::uint8_t cla, std::uint8_t ins, std::uint8_t p1, std::uint8_t p2,
                    std::uint8_t p3, std::span<const std::uint8_t> data = {}) {
  CardCommand command = NewCardCommand();
  const std::uint8_t header[] = {cla, ins, p1, p2, p3};
  std::copy(std::begin(header), std::end(header), command.header);
  command.direction = data.empty() ? kFromCard : kToCard;
  std::copy(data.begin(), data.end(), command.data);
  return command;
}

std::string Path(const std::string& parent, std::uint16_t id) {
  return parent.empty() ? FileIdText(id) : parent + "/" + FileIdText(id);
}

WalkedFile Node(std::string path, std::string name, std::string app, std::size_t depth,
                bool directory) {
  WalkedFile node;
  node.path = std::move(path);
  node.name = std::move(name);
  node.app = std::move(app);
  node.depth = depth;
  node.directory = directory;
  return node;
}

std::string ClassText(std::uint8_t cla) {
  return CompactHex(std::span<const std::uint8_t>(&cla, 1));
}

class Walker {
 public:
  explicit Walker(CardAccess& card) : card_(card) {}

  CardWalk Run() {
    WalkMasterFile();
    if (walk_.reached) {
      for (const KnownDirectory& directory : SimDirectories()) WalkDirectory(directory);
      WalkApplications();
    }
    Decode();
    if (!stopped_) {
      walk_.completed = true;
      if (walk_.reached) {
        walk_.outcome = std::string(CardKindName(walk_.kind)) + ": " +
                        std::to_string(walk_.files.size()) + " files, " +
                        std::to_string(walk_.exchanges) + " exchanges";
      }
    }
    return std::move(walk_);
  }

 private:
  struct Answer {
    std::vector<std::uint8_t> data;
    std::uint16_t sw = 0;
    bool Succeeded() const { return sw == 0x9000; }
  };

  void Stop(std::string why) {
    stopped_ = true;
    walk_.outcome = std::move(why) + " after " + std::to_string(walk_.exchanges) + " exchanges";
  }

  std::optional<SimAnswer> SendOne(const CardCommand& command, std::optional<std::uint16_t> le) {
    if (stopped_) return std::nullopt;
    if (card_.StopRequested()) {
      Stop("stopped on request");
      return std::nullopt;
    }
    SimAnswer answer = card_.Send(command, le);
    ++walk_.exchanges;
    if (!answer.completed) {
      Stop("the card stopped answering");
      return std::nullopt;
    }
    return answer;
  }

  // One command, with the GET RESPONSE an answer waiting behind 61 XX or 9F XX asks for,
  // and one resend with P3 = XX after 6C XX.
  std::optional<Answer> Exchange(CardCommand command, std::optional<std::uint16_t> le = {}) {
    auto first = SendOne(command, le);
    if (!first) return std::nullopt;
    if (first->sw1 == 0x6C && command.direction != kToCard) {
      command.header[4] = first->sw2;
      first = SendOne(command, le);
      if (!first) return std::nullopt;
    }
    Answer answer{std::move(first->data), first->sw()};
    for (int i = 0; i < kMostFetches; ++i) {
      const std::uint8_t sw1 = static_cast<std::uint8_t>(answer.sw >> 8);
      if (sw1 != 0x61 && sw1 != 0x9F) break;
      const auto more =
          SendOne(Command(command.cla(), kGetResponse, 0, 0, static_cast<std::uint8_t>(answer.sw)),
                  std::nullopt);
      if (!more) return std::nullopt;
      answer.data.insert(answer.data.end(), more->data.begin(), more->data.end());
      answer.sw = more->sw();
    }
    return answer;
  }

  std::optional<Answer> Select(std::uint8_t cla, std::uint16_t id) {
    const std::uint8_t fid[] = {static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
    if (cla == kSimClass) return Exchange(Command(cla, kSelect, 0, 0, 2, fid));
    return Exchange(Command(cla, kSelect, 0, kReturnFcp, 2, fid), 256);
  }

  std::optional<Answer> SelectApplication(std::span<const std::uint8_t> aid) {
    return Exchange(Command(kUiccClass, kSelect, kSelectByName, kReturnFcp,
                            static_cast<std::uint8_t>(aid.size()), aid),
                    256);
  }

  static FileInfo Parse(std::uint8_t cla, const Answer& answer) {
    return cla == kSimClass ? ParseGsmResponse(answer.data) : ParseFcp(answer.data);
  }

  void WalkMasterFile() {
    const KnownDirectory& mf = MasterFileDirectory();
    WalkedFile node = Node(FileIdText(mf.id), mf.name, mf.app, 0, true);
    const auto asUicc = Select(kUiccClass, mf.id);
    if (!asUicc) return;
    std::optional<Answer> chosen;
    if (asUicc->Succeeded()) {
      walk_.kind = CardKind::kUicc;
      cla_ = kUiccClass;
      chosen = asUicc;
    } else {
      const auto asSim = Select(kSimClass, mf.id);
      if (!asSim) return;
      if (!asSim->Succeeded()) {
        node.status = "neither class answered: class 00 " + StatusOf(*asUicc, kUiccClass) +
                      ", class A0 " + StatusOf(*asSim, kSimClass);
        walk_.outcome = "not a SIM or UICC: " + node.status;
        walk_.files.push_back(std::move(node));
        return;
      }
      walk_.kind = CardKind::kGsmSim;
      cla_ = kSimClass;
      chosen = asSim;
      walk_.notes.push_back("MF: class 00 " + StatusOf(*asUicc, kUiccClass) +
                            ", so the card is walked as a SIM in class A0");
    }
    walk_.reached = true;
    node.info = Parse(cla_, *chosen);
    node.decoded = node.info->decoded;
    node.read = true;
    node.status = "selected";
    walk_.files.push_back(std::move(node));
    const std::size_t index = walk_.files.size() - 1;
    for (const KnownFile& file : mf.files) WalkFile(file, index, cla_);
  }

  static std::string StatusOf(const Answer& answer, std::uint8_t cla) {
    return FileStatusText(answer.sw, cla, kSelect, "");
  }

  // Whether a directory's refusal asks for the other class.
  static bool AsksOtherClass(const Answer& answer, std::uint8_t cla) {
    return ClassifyFileStatus(answer.sw) == FileStatus::kClassRefused ||
           (cla == kSimClass && answer.sw == 0x9404);
  }

  void WalkDirectory(const KnownDirectory& directory) {
    WalkedFile node =
        Node(Path(walk_.files.front().path, directory.id), directory.name, directory.app, 1, true);
    auto answer = Select(cla_, directory.id);
    if (!answer) return;
    if (!answer->Succeeded() && AsksOtherClass(*answer, cla_)) {
      const std::uint8_t other = cla_ == kSimClass ? kUiccClass : kSimClass;
      const auto second = Select(other, directory.id);
      if (!second) return;
      if (!second->Succeeded()) {
        node.status = "class " + ClassText(cla_) + " " + StatusOf(*answer, cla_) + ", class " +
                      ClassText(other) + " " + StatusOf(*second, other);
        walk_.files.push_back(std::move(node));
        return;
      }
      walk_.notes.push_back(std::string(directory.name) + ": class " + ClassText(cla_) + " " +
                            StatusOf(*answer, cla_) + ", so the walk goes on in class " +
                            ClassText(other));
      cla_ = other;
      answer = second;
    }
    if (!answer->Succeeded()) {
      node.status = StatusOf(*answer, cla_);
      walk_.files.push_back(std::move(node));
      return;
    }
    node.info = Parse(cla_, *answer);
    node.decoded = node.info->decoded;
    node.read = true;
    node.status = "selected";
    walk_.files.push_back(std::move(node));
    const std::size_t index = walk_.files.size() - 1;
    for (const KnownFile& file : directory.files) WalkFile(file, index, cla_);
  }

  void WalkApplications() {
    const auto dir = std::find_if(walk_.files.begin(), walk_.files.end(), [](const WalkedFile& f) {
      return f.content == FileContent::kApplicationDirectory && f.read;
    });
    if (dir == walk_.files.end()) return;
    std::vector<DirEntry> entries;
    for (const RecordRead& record : dir->records) {
      if (!record.read) continue;
      DirEntry entry = ReadDirRecord(record.bytes);
      const bool seen = std::any_of(entries.begin(), entries.end(),
                                    [&](const DirEntry& e) { return e.aid == entry.aid; });
      if (!entry.aid.empty() && !seen) entries.push_back(std::move(entry));
    }
    for (const DirEntry& entry : entries) WalkApplication(entry);
  }

  void WalkApplication(const DirEntry& entry) {
    const std::string application = ApplicationOf(entry.aid);
    const bool usim = application == "USIM";
    const KnownDirectory& known = UsimDirectory();
    const std::string label = !application.empty()   ? application
                              : !entry.label.empty() ? entry.label
                                                     : CompactHex(entry.aid);
    WalkedFile node =
        Node(walk_.files.front().path + "/" + (usim ? FileIdText(known.id) : CompactHex(entry.aid)),
             usim ? known.name : "ADF " + label, usim ? known.app : label, 1, true);
    const auto answer = SelectApplication(entry.aid);
    if (!answer) return;
    if (!answer->Succeeded()) {
      node.status = StatusOf(*answer, kUiccClass);
      walk_.files.push_back(std::move(node));
      return;
    }
    node.info = ParseFcp(answer->data);
    node.decoded = node.info->decoded;
    node.read = true;
    node.status = "selected";
    walk_.files.push_back(std::move(node));
    const std::size_t index = walk_.files.size() - 1;
    if (usim) {
      for (const KnownFile& file : known.files) WalkFile(file, index, kUiccClass);
    }
  }

  // `directory` is the index of the file's directory in walk_.files.
  void WalkFile(const KnownFile& file, std::size_t directory, std::uint8_t cla) {
    WalkedFile node = Node(Path(walk_.files[directory].path, file.id), file.name,
                           walk_.files[directory].app, walk_.files[directory].depth + 1, false);
    node.content = file.content;
    const auto answer = Select(cla, file.id);
    if (!answer) return;
    if (!answer->Succeeded()) {
      node.status = StatusOf(*answer, cla);
      walk_.files.push_back(std::move(node));
      return;
    }
    node.info = Parse(cla, *answer);
    const std::string pin = PinText(walk_.files[directory], *node.info, cla);
    const FileStructure structure = node.info->structure;
    const bool records =
        structure == FileStructure::kLinearFixed || structure == FileStructure::kCyclic ||
        ((structure == FileStructure::kUnknown || structure == FileStructure::kNone) &&
         IsRecordContent(file.content));
    node.recordFile = records;
    if (records) {
      ReadRecords(node, cla, pin);
    } else {
      ReadBody(node, cla, pin);
    }
    if (stopped_ && !node.read) node.status = "not read whole: the walk stopped";
    walk_.files.push_back(std::move(node));
  }

  void ReadBody(WalkedFile& node, std::uint8_t cla, const std::string& pin) {
    const std::optional<std::size_t> size = node.info->size;
    std::size_t offset = 0;
    // Without a size in the SELECT answer, one READ BINARY with P3 = 00 (a 6C XX gives the
    // length).
    do {
      const std::size_t part = size ? std::min(kLongestRead, *size - offset) : 0;
      const auto answer =
          Exchange(Command(cla, kReadBinary, static_cast<std::uint8_t>((offset >> 8) & 0x7F),
                           static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(part)));
      if (!answer) return;
      if (!answer->Succeeded()) {
        node.status = FileStatusText(answer->sw, cla, kReadBinary, pin);
        if (offset > 0) node.status += " after " + std::to_string(offset) + " bytes";
        return;
      }
      if (answer->data.empty()) break;
      node.body.insert(node.body.end(), answer->data.begin(), answer->data.end());
      offset += answer->data.size();
    } while (size && offset < *size);
    node.read = true;
    node.status = "read";
  }

  void ReadRecords(WalkedFile& node, std::uint8_t cla, const std::string& pin) {
    const FileInfo& info = *node.info;
    if (info.recordLength == 0 || info.recordLength > kLongestRead) {
      node.status = "not read: the SELECT answer gives no record length";
      return;
    }
    const std::size_t count = std::min(info.recordCount, kMostRecords);
    for (std::size_t number = 1; number <= count; ++number) {
      const auto answer =
          Exchange(Command(cla, kReadRecord, static_cast<std::uint8_t>(number), kAbsoluteRecord,
                           static_cast<std::uint8_t>(info.recordLength)));
      if (!answer) return;
      if (answer->Succeeded()) {
        node.records.push_back({number, true, answer->data, "read"});
        continue;
      }
      const std::string status = FileStatusText(answer->sw, cla, kReadRecord, pin);
      if (number == 1) {
        node.status = status;
        return;
      }
      node.records.push_back({number, false, {}, status});
      if (ClassifyFileStatus(answer->sw) == FileStatus::kOutOfRange) break;
    }
    node.read = true;
    node.status = "read";
  }

  // The code a file of `directory` asks for, with the tries its SELECT answer gave.
  static std::string PinText(const WalkedFile& directory, const FileInfo& file, std::uint8_t cla) {
    const bool gsm = cla == kSimClass;
    std::uint8_t key = 0x01;
    if (gsm && file.readCondition) {
      if (*file.readCondition >= 0x04 && *file.readCondition <= 0x0E) return "ADM";
      if (*file.readCondition == 0x02) key = 0x02;
    }
    std::optional<int> tries;
    if (directory.info) {
      const auto& pins = directory.info->pins;
      const auto found = std::find_if(pins.begin(), pins.end(),
                                      [&](const PinState& pin) { return pin.keyReference == key; });
      if (!gsm && (found == pins.end() || !found->enabled)) {
        const auto universal = std::find_if(pins.begin(), pins.end(), [](const PinState& pin) {
          return pin.keyReference == 0x11 && pin.enabled;
        });
        if (universal != pins.end()) return PinName(0x11, false);
      }
      if (found != pins.end()) tries = found->triesLeft;
    }
    std::string text = PinName(key, gsm);
    if (tries) text += ", " + std::to_string(*tries) + (*tries == 1 ? " try left" : " tries left");
    return text;
  }

  // Decodes each file read, EF.IMSI with the MNC length of EF.AD in its own directory.
  void Decode() {
    std::map<std::string, std::optional<int>> mncLengths;
    for (const WalkedFile& file : walk_.files) {
      if (file.content == FileContent::kAdministrativeData && file.read) {
        mncLengths[file.path.substr(0, file.path.rfind('/'))] = MncLengthOf(file.body);
      }
    }
    for (WalkedFile& file : walk_.files) {
      if (file.directory || !file.read || !file.content) continue;
      const FileContent content = *file.content;
      if (file.recordFile != IsRecordContent(content)) {
        file.decoded.Note("the card describes this file as " +
                          StructureName(FileType::kEf, file.info->structure) +
                          ", which its decoder does not expect: not decoded");
      } else if (file.recordFile) {
        file.decoded = DecodeRecords(file, content);
      } else {
        const auto mnc = mncLengths.find(file.path.substr(0, file.path.rfind('/')));
        file.decoded = DecodeFileBody(content, file.body,
                                      mnc == mncLengths.end() ? std::nullopt : mnc->second);
      }
    }
  }

  static Decoded DecodeRecords(const WalkedFile& file, FileContent content) {
    Decoded records = Decoded::List();
    Decoded unreadable = Decoded::List();
    std::int64_t empty = 0;
    for (const RecordRead& record : file.records) {
      if (!record.read) {
        unreadable.Append(
            Decoded()
                .Add("record", Decoded::Number(static_cast<std::int64_t>(record.number)))
                .Add("status", record.status));
        continue;
      }
      const Decoded decoded = DecodeFileRecord(content, record.bytes);
      if (decoded.Find("empty")) {
        ++empty;
        continue;
      }
      Decoded numbered;
      numbered.Add("record", Decoded::Number(static_cast<std::int64_t>(record.number)));
      for (const Decoded::Field& field : decoded.fields()) numbered.Add(field.name, field.value);
      numbered.AppendNotes(decoded.notes());
      records.Append(std::move(numbered));
    }
    Decoded decoded;
    decoded.Add("records", std::move(records));
    decoded.Add("empty_records", Decoded::Number(empty));
    if (!unreadable.Empty()) decoded.Add("unreadable_records", std::move(unreadable));
    return decoded;
  }

  CardAccess& card_;
  CardWalk walk_;
  std::uint8_t cla_ = kUiccClass;
  bool stopped_ = false;
};

}  // namespace

CardWalk WalkCard(CardAccess& card) {
  return Walker(card).Run();
}

}  // namespace quorvel
