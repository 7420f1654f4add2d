#include "app/profile.h"

#include <strings.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>

#include "files/file_replace.h"
#include "files/input_file.h"

namespace quorvel {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// Section and key names compare without regard to case, as INI readers do.
bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string DecodeValue(const std::string& raw) {
  std::string value = Trim(raw);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    return value.substr(1, value.size() - 2);
  return value;
}

std::string EncodeValue(const std::string& value) {
  const bool needs_quotes =
      !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || value.front() == '"');
  return needs_quotes ? '"' + value + '"' : value;
}

}  // namespace

std::string Profile::DefaultPath() {
  std::filesystem::path folder;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    folder = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    folder = std::filesystem::path(home) / ".config";
  } else {
    folder = ".";
  }
  return (folder / "Quorvel.INI").string();
}

Profile Profile::Load(const std::string& path) {
  InputFile file(path);
  if (file.status() == InputFile::Status::kMissing) return Parse(path, {});
  std::string text;
  bool read = file.status() == InputFile::Status::kOpen && file.size() <= kMaxFileSize;
  if (read) {
    text.resize(static_cast<std::size_t>(file.size()));
    const std::ptrdiff_t got =
        file.ReadAt(0, reinterpret_cast<std::uint8_t*>(text.data()), text.size());
    read = got >= 0;
    text.resize(read ? static_cast<std::size_t>(got) : 0);
  }
  Profile profile = Parse(path, text);
  profile.keep_file_ = !read;
  return profile;
}

Profile Profile::Parse(const std::string& path, std::string_view content) {
  Profile profile;
  profile.path_ = path;
  std::string section;
  while (!content.empty()) {
    const std::size_t end = content.find('\n');
    std::string text(content.substr(0, end));
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    while (!text.empty() && text.back() == '\r') text.pop_back();
    Line line{text, section, {}, {}};
    const std::string trimmed = Trim(text);
    if (!trimmed.empty() && trimmed.front() == '[') {
      const std::size_t close = trimmed.find(']');
      section = Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      line.section = section;
    } else if (!trimmed.empty() && trimmed.front() != ';' && trimmed.front() != '#') {
      const std::size_t equals = text.find('=');
      if (equals != std::string::npos) {
        line.key = Trim(text.substr(0, equals));
        line.value = DecodeValue(text.substr(equals + 1));
      }
    }
    profile.lines_.push_back(std::move(line));
  }
  return profile;
}

std::optional<std::size_t> Profile::Find(const std::string& section, const std::string& key) const {
  std::optional<std::size_t> found;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!lines_[i].key.empty() && SameName(lines_[i].section, section) &&
        SameName(lines_[i].key, key))
      found = i;
  }
  return found;
}

std::string Profile::GetString(const std::string& section, const std::string& key,
                               const std::string& fallback) const {
  const auto index = Find(section, key);
  return index ? lines_[*index].value : fallback;
}

std::map<std::string, std::string> Profile::Section(const std::string& section) const {
  std::map<std::string, std::string> values;
  for (const Line& line : lines_) {
    if (!line.key.empty() && SameName(line.section, section)) values[line.key] = line.value;
  }
  return values;
}

bool Profile::SetString(const std::string& section, const std::string& key,
                        const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos) return false;
  const std::string text = key + '=' + EncodeValue(value);
  if (const auto index = Find(section, key)) {
    lines_[*index].text = text;
    lines_[*index].value = value;
    return true;
  }
  // Append at the end of the section, or start the section at the end of the file.
  std::optional<std::size_t> last_of_section;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (SameName(lines_[i].section, section) && !Trim(lines_[i].text).empty()) last_of_section = i;
  }
  Line line{text, section, key, value};
  if (last_of_section) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*last_of_section + 1),
                  std::move(line));
  } else {
    lines_.push_back(Line{'[' + section + ']', section, {}, {}});
    lines_.push_back(std::move(line));
  }
  return true;
}

std::string Profile::Text() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += '\n';
  }
  return text;
}

bool Profile::Save() const {
  if (keep_file_) return false;
  std::error_code ignored;
  const std::filesystem::path file(path_);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
  const std::string text = Text();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  return WriteFileReplacing(path_, std::span(bytes, text.size())) == ReplaceResult::kReplaced;
}

}  // namespace quorvel
