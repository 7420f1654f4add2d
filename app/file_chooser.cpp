#include "app/file_chooser.h"

namespace quorvel {
namespace {

std::string Trim(const std::string& s) {
  const auto begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  const auto end = s.find_last_not_of(" \t");
  return s.substr(begin, end - begin + 1);
}

std::vector<std::string> Split(const std::string& s, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t bar = s.find(separator); bar != std::string::npos;
       bar = s.find(separator, start)) {
    parts.push_back(s.substr(start, bar - start));
    start = bar + 1;
  }
  parts.push_back(s.substr(start));
  return parts;
}

}  // namespace

std::vector<FileFilter> ParseFileFilter(const std::string& filter) {
  // The list ends at the first empty display text ("||").
  const std::vector<std::string> parts = Split(filter, '|');
  std::vector<FileFilter> filters;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    const std::string description = Trim(parts[i]);
    if (description.empty()) break;
    FileFilter entry{description, {}};
    for (const std::string& pattern : Split(parts[i + 1], ';')) {
      if (const std::string p = Trim(pattern); !p.empty()) entry.patterns.push_back(p);
    }
    if (!entry.patterns.empty()) filters.push_back(std::move(entry));
  }
  return filters;
}

std::vector<std::string> DesktopPatterns(const FileFilter& filter) {
  std::vector<std::string> patterns;
  for (const std::string& pattern : filter.patterns)
    patterns.push_back(pattern == "*.*" ? "*" : pattern);
  return patterns;
}

std::string FilterExtension(const FileFilter& filter) {
  if (filter.patterns.size() != 1) return {};
  const std::string& pattern = filter.patterns[0];
  if (pattern.size() < 3 || pattern.compare(0, 2, "*.") != 0) return {};
  const std::string extension = pattern.substr(2);
  return extension.find_first_of("*?[") == std::string::npos ? extension : std::string();
}

}  // namespace quorvel
