#include "sim/decoded.h"

#include <algorithm>

#include "cli/json_string.h"

namespace quorvel {

// Out of line, where Field is complete.
Decoded::Decoded() = default;
Decoded::~Decoded() = default;
Decoded::Decoded(const Decoded& other) = default;
Decoded::Decoded(Decoded&& other) noexcept = default;
Decoded& Decoded::operator=(const Decoded& other) = default;
Decoded& Decoded::operator=(Decoded&& other) noexcept = default;

Decoded Decoded::Text(std::string utf8) {
  Decoded value;
  value.kind_ = Kind::kText;
  value.text_ = std::move(utf8);
  return value;
}

Decoded Decoded::Number(std::int64_t number) {
  Decoded value;
  value.kind_ = Kind::kNumber;
  value.number_ = number;
  return value;
}

Decoded Decoded::Flag(bool flag) {
  Decoded value;
  value.kind_ = Kind::kFlag;
  value.number_ = flag ? 1 : 0;
  return value;
}

Decoded Decoded::List() {
  Decoded value;
  value.kind_ = Kind::kList;
  return value;
}

Decoded& Decoded::Add(std::string name, Decoded value) {
  fields_.push_back({std::move(name), std::move(value)});
  return *this;
}

Decoded& Decoded::Append(Decoded item) {
  items_.push_back(std::move(item));
  return *this;
}

Decoded& Decoded::Note(std::string text) {
  notes_.push_back(std::move(text));
  return *this;
}

Decoded& Decoded::AppendNotes(const std::vector<std::string>& notes) {
  notes_.insert(notes_.end(), notes.begin(), notes.end());
  return *this;
}

const Decoded* Decoded::Find(std::string_view name) const {
  const auto found = std::find_if(fields_.begin(), fields_.end(),
                                  [&](const Field& field) { return field.name == name; });
  return found == fields_.end() ? nullptr : &found->value;
}

bool Decoded::Empty() const {
  return (kind_ == Kind::kFields || kind_ == Kind::kList) && fields_.empty() && items_.empty() &&
         notes_.empty();
}

namespace {

void AppendJson(const Decoded& value, std::string& out) {
  switch (value.kind()) {
    case Decoded::Kind::kText:
      out += JsonString(value.text());
      return;
    case Decoded::Kind::kNumber:
      out += std::to_string(value.number());
      return;
    case Decoded::Kind::kFlag:
      out += value.flag() ? "true" : "false";
      return;
    case Decoded::Kind::kList: {
      out += '[';
      const char* separator = "";
      for (const Decoded& item : value.items()) {
        out += separator;
        AppendJson(item, out);
        separator = ", ";
      }
      out += ']';
      return;
    }
    case Decoded::Kind::kFields:
      break;
  }
  out += '{';
  const char* separator = "";
  for (const Decoded::Field& field : value.fields()) {
    out += separator;
    out += JsonString(field.name) + ": ";
    AppendJson(field.value, out);
    separator = ", ";
  }
  if (!value.notes().empty()) {
    out += separator;
    out += "\"notes\": [";
    separator = "";
    for (const std::string& note : value.notes()) {
      out += separator + JsonString(note);
      separator = ", ";
    }
    out += ']';
  }
  out += '}';
}

std::string Shown(std::string name) {
  std::replace(name.begin(), name.end(), '_', ' ');
  return name;
}

bool IsScalar(const Decoded& value) {
  return value.kind() != Decoded::Kind::kFields && value.kind() != Decoded::Kind::kList;
}

std::string ScalarText(const Decoded& value) {
  switch (value.kind()) {
    case Decoded::Kind::kText:
      return value.text();
    case Decoded::Kind::kNumber:
      return std::to_string(value.number());
    case Decoded::Kind::kFlag:
      return value.flag() ? "yes" : "no";
    default:
      return {};
  }
}

void AppendLines(const Decoded& value, const std::string& indent, std::vector<std::string>& out);

// The lines of a list item: its first line after "- ", the others under it.
void AppendItem(const Decoded& item, const std::string& indent, std::vector<std::string>& out) {
  if (IsScalar(item)) {
    out.push_back(indent + "- " + ScalarText(item));
    return;
  }
  std::vector<std::string> lines;
  AppendLines(item, "", lines);
  if (lines.empty()) lines.push_back("(nothing)");
  out.push_back(indent + "- " + lines.front());
  for (std::size_t i = 1; i < lines.size(); ++i) out.push_back(indent + "  " + lines[i]);
}

void AppendLines(const Decoded& value, const std::string& indent, std::vector<std::string>& out) {
  if (IsScalar(value)) {
    out.push_back(indent + ScalarText(value));
    return;
  }
  for (const Decoded& item : value.items()) AppendItem(item, indent, out);
  for (const Decoded::Field& field : value.fields()) {
    if (IsScalar(field.value)) {
      out.push_back(indent + Shown(field.name) + ": " + ScalarText(field.value));
    } else if (field.value.Empty()) {
      out.push_back(indent + Shown(field.name) + ": none");
    } else {
      out.push_back(indent + Shown(field.name) + ":");
      AppendLines(field.value, indent + "  ", out);
    }
  }
  for (const std::string& note : value.notes()) out.push_back(indent + "note: " + note);
}

}  // namespace

std::string DecodedJson(const Decoded& value) {
  std::string out;
  AppendJson(value, out);
  return out;
}

std::vector<std::string> DecodedLines(const Decoded& value) {
  std::vector<std::string> lines;
  AppendLines(value, "", lines);
  return lines;
}

}  // namespace quorvel
