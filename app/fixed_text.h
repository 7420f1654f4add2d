#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "controls/field_text.h"

namespace quorvel {

// Names and settings strings live in fixed character arrays, because SCC files
// store the arrays whole. Copying text in cuts it to fit (N - 1 bytes and the
// zero, never half a UTF-8 character) and leaves the bytes after the terminator
// as they were.
template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text) {
  const std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  const std::size_t length = FittingLength(text, N - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// The text of a field up to its zero, never past N - 1 characters.
template <std::size_t N>
std::string TextOf(const char (&field)[N]) {
  return std::string(field, strnlen(field, N - 1));
}

}  // namespace quorvel
