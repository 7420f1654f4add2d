#include "about/exec_line.h"

namespace quorvel {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsQuotedEscape(char c) {
  return c == '"' || c == '`' || c == '$' || c == '\\';
}

}  // namespace

std::optional<std::vector<std::string>> SplitExecLine(std::string_view exec_line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  const std::size_t n = exec_line.size();
  while (i < n) {
    if (IsBlank(exec_line[i])) {
      ++i;
      continue;
    }
    std::string word;
    bool quoted = false;  // a quoted word stays even when empty
    bool in_quotes = false;
    for (; i < n && (in_quotes || !IsBlank(exec_line[i])); ++i) {
      const char c = exec_line[i];
      if (c == '"') {
        in_quotes = !in_quotes;
        quoted = true;
      } else if (in_quotes && c == '\\' && i + 1 < n && IsQuotedEscape(exec_line[i + 1])) {
        word += exec_line[++i];
      } else if (c == '%' && i + 1 < n) {
        if (exec_line[++i] == '%') word += '%';
      } else {
        word += c;
      }
    }
    if (in_quotes) return std::nullopt;
    if (quoted || !word.empty()) words.push_back(std::move(word));
  }
  return words;
}

}  // namespace quorvel
