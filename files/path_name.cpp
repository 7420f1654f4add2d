#include "files/path_name.h"

#include <filesystem>

namespace quorvel {

bool LeavesWorkingFolder(std::string_view name) {
  if (!name.empty() && name.front() == '/') return true;
  int depth = 0;
  while (!name.empty()) {
    const std::size_t slash = name.find('/');
    const std::string_view part = name.substr(0, slash);
    name.remove_prefix(slash == std::string_view::npos ? name.size() : slash + 1);
    if (part == "..") {
      if (--depth < 0) return true;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
  }
  return false;
}

std::string FullPath(std::string_view name) {
  std::error_code ignored;
  return std::filesystem::absolute(std::filesystem::path(name), ignored)
      .lexically_normal()
      .string();
}

std::string LastComponent(std::string_view name, std::string_view fallback) {
  const std::string last = std::filesystem::path(name).lexically_normal().filename().string();
  if (last.empty() || last == "." || last == "..") return std::string(fallback);
  return last;
}

}  // namespace quorvel
