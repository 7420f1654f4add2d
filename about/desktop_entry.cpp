#include "about/desktop_entry.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorvel {
namespace {

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string Unescape(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:  // not a file escape: left for the Exec quoting rules
        out += '\\';
        out += value[i];
    }
  }
  return out;
}

void AppendSplit(std::vector<std::string>& dirs, std::string_view list) {
  while (!list.empty()) {
    const auto colon = list.find(':');
    const std::string_view dir = list.substr(0, colon);
    if (!dir.empty()) dirs.emplace_back(dir);
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
}

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

std::optional<std::string> DesktopEntryExec(std::string_view file_text) {
  bool in_entry_group = false;
  std::istringstream lines{std::string(file_text)};
  std::string raw;
  while (std::getline(lines, raw)) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      in_entry_group = line == "[Desktop Entry]";
      continue;
    }
    if (!in_entry_group) continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || Trim(line.substr(0, equals)) != "Exec") continue;
    return Unescape(Trim(line.substr(equals + 1)));
  }
  return std::nullopt;
}

std::vector<std::string> XdgDataDirs(const char* data_home, const char* data_dirs,
                                     const char* home) {
  std::vector<std::string> dirs;
  if (data_home != nullptr && *data_home != '\0') {
    dirs.emplace_back(data_home);
  } else if (home != nullptr && *home != '\0') {
    dirs.push_back(std::string(home) + "/.local/share");
  }
  AppendSplit(
      dirs, data_dirs != nullptr && *data_dirs != '\0' ? data_dirs : "/usr/local/share:/usr/share");
  return dirs;
}

std::optional<std::string> FindDesktopEntryExec(const std::string& desktop_id,
                                                const std::vector<std::string>& data_dirs) {
  if (!IsPlainFileName(desktop_id)) return std::nullopt;
  for (const std::string& dir : data_dirs) {
    const std::filesystem::path path = std::filesystem::path(dir) / "applications" / desktop_id;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) continue;
    std::ifstream file(path, std::ios::binary);
    if (!file) continue;
    // The first entry found hides any of the same id further down the list.
    std::ostringstream text;
    text << file.rdbuf();
    return DesktopEntryExec(text.str());
  }
  return std::nullopt;
}

}  // namespace quorvel
