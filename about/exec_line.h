#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Splits the Exec line of a desktop entry into the program and its arguments,
// by the desktop-entry rules: words are separated by blanks; a double-quoted
// part keeps its blanks, and in it a backslash escapes '"', '`', '$' and '\'.
// "%%" stands for "%"; other field codes are dropped, and a word made of field
// codes alone goes with them. None when a quotation is left open.
std::optional<std::vector<std::string>> SplitExecLine(std::string_view exec_line);

}  // namespace quorvel
