#include "explore/explorer_tree.h"

#include "sim/hex_text.h"
#include "sim/pin_verification.h"
#include "sim/walk_report.h"

namespace quorvel {
namespace {

std::string Count(std::size_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

// Lines indented two blanks a level (DecodedLines) as nodes nested by their indentation.
void AppendLines(const std::vector<std::string>& lines, std::vector<ExplorerNode>& out) {
  std::vector<std::vector<ExplorerNode>*> levels{&out};
  for (const std::string& line : lines) {
    const std::size_t blanks = line.find_first_not_of(' ');
    if (blanks == std::string::npos) continue;
    const std::size_t level = std::min(blanks / 2, levels.size() - 1);
    levels.resize(level + 1);
    ExplorerNode node;
    node.text = line.substr(blanks);
    levels[level]->push_back(std::move(node));
    levels.push_back(&levels[level]->back().children);
  }
}

void AppendDecoded(const Decoded& decoded, std::vector<ExplorerNode>& out) {
  AppendLines(DecodedLines(decoded), out);
}

ExplorerNode FileNode(const WalkedFile& file) {
  ExplorerNode node;
  node.file = true;
  node.text = file.path.substr(file.path.rfind('/') + 1) + " " + file.name;
  node.status = file.status;
  node.needsPin = file.status.starts_with("needs ");
  node.kind = file.directory ? "DF" : "EF";
  if (file.info) {
    const FileInfo& info = *file.info;
    node.kind = StructureName(info.type, info.structure);
    node.access = info.access;
    if (info.recordLength > 0) {
      node.size = Count(info.recordCount, "record") + " of " + Count(info.recordLength, "byte");
    } else if (info.size) {
      node.size = Count(*info.size, "byte");
    }
  }
  return node;
}

// A record's decoded fields, found by its number among the file's decoded records.
const Decoded* DecodedRecord(const WalkedFile& file, std::size_t number) {
  const Decoded* records = file.decoded.Find("records");
  if (!records) return nullptr;
  for (const Decoded& item : records->items()) {
    const Decoded* field = item.Find("record");
    if (field && field->number() == static_cast<std::int64_t>(number)) return &item;
  }
  return nullptr;
}

void AppendContent(const WalkedFile& file, std::vector<ExplorerNode>& out) {
  if (file.directory) {
    if (!file.info) return;
    ExplorerNode answer;
    answer.text = "SELECT answer";
    AppendDecoded(file.decoded, answer.children);
    out.push_back(std::move(answer));
    return;
  }
  if (!file.read) return;
  if (!file.recordFile) {
    AppendDecoded(file.decoded, out);
    ExplorerNode raw;
    raw.text = "raw: " + HexText(file.body);
    out.push_back(std::move(raw));
    return;
  }
  AppendDecoded(Decoded().AppendNotes(file.decoded.notes()), out);
  for (const RecordRead& record : file.records) {
    ExplorerNode row;
    row.text = "record " + std::to_string(record.number) + ": " +
               (record.read ? HexText(record.bytes) : record.status);
    if (const Decoded* decoded = record.read ? DecodedRecord(file, record.number) : nullptr) {
      Decoded shown;
      for (const Decoded::Field& field : decoded->fields()) {
        if (field.name != "record") shown.Add(field.name, field.value);
      }
      AppendDecoded(shown.AppendNotes(decoded->notes()), row.children);
    }
    out.push_back(std::move(row));
  }
}

}  // namespace

std::vector<ExplorerNode> ExplorerTree(const CardWalk& walk) {
  std::vector<ExplorerNode> tree;
  // The children of the directory open at each depth.
  std::vector<std::vector<ExplorerNode>*> open{&tree};
  for (const WalkedFile& file : walk.files) {
    const std::size_t depth = std::min(file.depth, open.size() - 1);
    open.resize(depth + 1);
    ExplorerNode node = FileNode(file);
    AppendContent(file, node.children);
    open[depth]->push_back(std::move(node));
    if (file.directory) open.push_back(&open[depth]->back().children);
  }
  return tree;
}

std::vector<std::string> ExplorerSummary(const CardWalk& walk) {
  std::vector<std::string> lines;
  lines.push_back(walk.outcome.empty() ? std::string(CardKindName(walk.kind)) : walk.outcome);
  for (const std::string& note : walk.notes) lines.push_back(note);
  const Pin1Status pin = Pin1StatusOf(walk);
  if (pin.known) {
    std::string text = pin.name + (pin.enabled ? " enabled" : " disabled");
    if (pin.triesLeft) {
      text += ", " + std::to_string(*pin.triesLeft) +
              (*pin.triesLeft == 1 ? " try left" : " tries left");
    }
    lines.push_back(text);
  }
  return lines;
}

std::string WalkJsonLines(const CardWalk& walk) {
  std::string lines;
  for (const WalkedFile& file : walk.files) lines += WalkedFileJson(file) + "\n";
  return lines;
}

}  // namespace quorvel
