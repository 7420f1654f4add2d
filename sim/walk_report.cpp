#include "sim/walk_report.h"

#include "cli/json_string.h"
#include "sim/hex_text.h"

namespace quorvel {
namespace {

std::string Count(std::size_t count, const char* what) {
  return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

// Bytes for the tree: a run of FF at the end is counted rather than shown.
std::string ShownBytes(std::span<const std::uint8_t> bytes) {
  std::size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == 0xFF) --end;
  const std::size_t filler = bytes.size() - end;
  if (filler < 8) return HexText(bytes);
  return HexText(bytes.first(end)) + (end > 0 ? " " : "") + "and " + Count(filler, "byte") + " FF";
}

// A directory's fields but its type and id, which its line shows already.
Decoded WithoutTypeAndId(const Decoded& decoded) {
  Decoded shown;
  for (const Decoded::Field& field : decoded.fields()) {
    if (field.name != "type" && field.name != "id") shown.Add(field.name, field.value);
  }
  return shown.AppendNotes(decoded.notes());
}

std::string Structure(const WalkedFile& file) {
  if (file.info) return StructureName(file.info->type, file.info->structure);
  return file.directory ? "DF" : "EF";
}

// "transparent, 9 bytes, read" or "linear fixed, 10 records of 28 bytes, needs PIN1 (69 82)".
std::string Summary(const WalkedFile& file) {
  std::string text;
  if (file.info) {
    text = Structure(file) + ", ";
    const FileInfo& info = *file.info;
    if (info.recordLength > 0) {
      text += Count(info.recordCount, "record") + " of " + Count(info.recordLength, "byte") + ", ";
    } else if (info.size) {
      text += Count(*info.size, "byte") + ", ";
    }
  }
  return text + file.status;
}

void AppendIndented(std::vector<std::string>& out, const std::vector<std::string>& lines,
                    const std::string& indent) {
  for (const std::string& line : lines) out.push_back(indent + line);
}

std::string RecordRange(std::size_t first, std::size_t last) {
  return first == last ? "record " + std::to_string(first)
                       : "records " + std::to_string(first) + " to " + std::to_string(last);
}

void AppendRecords(std::vector<std::string>& out, const WalkedFile& file,
                   const std::string& indent) {
  std::size_t emptyFrom = 0;
  std::size_t emptyTo = 0;
  const auto flushEmpty = [&] {
    if (emptyFrom != 0) out.push_back(indent + RecordRange(emptyFrom, emptyTo) + ": empty");
    emptyFrom = 0;
  };
  // The decoded records in order, matched by their "record" field.
  const Decoded* decodedRecords = file.decoded.Find("records");
  for (const RecordRead& record : file.records) {
    if (!record.read) {
      flushEmpty();
      out.push_back(indent + RecordRange(record.number, record.number) + ": " + record.status);
      continue;
    }
    const Decoded* decoded = nullptr;
    if (decodedRecords) {
      for (const Decoded& item : decodedRecords->items()) {
        const Decoded* number = item.Find("record");
        if (number && number->number() == static_cast<std::int64_t>(record.number)) decoded = &item;
      }
    }
    // A record the decoders skipped is empty; without decoded records, each shows its bytes.
    if (decodedRecords && !decoded) {
      if (emptyFrom == 0) emptyFrom = record.number;
      emptyTo = record.number;
      continue;
    }
    flushEmpty();
    out.push_back(indent + RecordRange(record.number, record.number) + ": " +
                  ShownBytes(record.bytes));
    if (!decoded) continue;
    Decoded shown;
    for (const Decoded::Field& field : decoded->fields()) {
      if (field.name != "record") shown.Add(field.name, field.value);
    }
    shown.AppendNotes(decoded->notes());
    AppendIndented(out, DecodedLines(shown), indent + "  ");
  }
  flushEmpty();
}

}  // namespace

std::vector<std::string> WalkTreeLines(const CardWalk& walk) {
  std::vector<std::string> lines;
  lines.push_back(walk.outcome.empty() ? std::string(CardKindName(walk.kind)) : walk.outcome);
  for (const std::string& note : walk.notes) lines.push_back("note: " + note);
  for (const WalkedFile& file : walk.files) {
    const std::string indent(file.depth * 2, ' ');
    const std::string id = file.path.substr(file.path.rfind('/') + 1);
    lines.push_back(indent + id + " " + file.name + "  " + Summary(file));
    const std::string inner = indent + "    ";
    if (file.directory) {
      if (file.info) AppendIndented(lines, DecodedLines(WithoutTypeAndId(file.decoded)), inner);
      continue;
    }
    if (!file.read) continue;
    if (file.recordFile) {
      AppendIndented(lines, DecodedLines(Decoded().AppendNotes(file.decoded.notes())), inner);
      AppendRecords(lines, file, inner);
      continue;
    }
    AppendIndented(lines, DecodedLines(file.decoded), inner);
    lines.push_back(inner + "raw: " + ShownBytes(file.body));
  }
  return lines;
}

std::string WalkedFileJson(const WalkedFile& file) {
  const auto number = [](std::optional<std::size_t> value) {
    return value ? std::to_string(*value) : std::string("null");
  };
  std::optional<std::size_t> size;
  std::optional<std::size_t> recordLength;
  std::string access = "null";
  if (file.info) {
    size = file.info->size;
    if (file.info->recordLength > 0) recordLength = file.info->recordLength;
    if (!file.info->access.empty()) access = JsonString(file.info->access);
  }
  std::string raw = "null";
  if (file.recordFile && file.read) {
    raw = "[";
    for (std::size_t i = 0; i < file.records.size(); ++i) {
      if (i > 0) raw += ", ";
      raw += file.records[i].read ? JsonString(HexText(file.records[i].bytes)) : "null";
    }
    raw += "]";
  } else if (file.read && !file.directory) {
    raw = JsonString(HexText(file.body));
  }
  const bool decoded = file.read && (file.directory ? file.info.has_value() : true);
  return "{\"path\": " + JsonString(file.path) + ", \"name\": " + JsonString(file.name) +
         ", \"app\": " + JsonString(file.app) + ", \"structure\": " + JsonString(Structure(file)) +
         ", \"size\": " + number(size) + ", \"record_length\": " + number(recordLength) +
         ", \"access\": " + access + ", \"status\": " + JsonString(file.status) +
         ", \"raw\": " + raw + ", \"decoded\": " + (decoded ? DecodedJson(file.decoded) : "null") +
         "}";
}

}  // namespace quorvel
