#include "app/window_size.h"

namespace quorvel {
namespace {

constexpr std::size_t kMaxDigits = 5;

// A positive decimal number of 1 to 5 digits, the whole of `text`.
std::optional<int> ParseDimension(std::string_view text) {
  if (text.empty() || text.size() > kMaxDigits) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value == 0) return std::nullopt;
  return value;
}

}  // namespace

std::optional<WindowSize> ParseWindowSize(std::string_view text) {
  const std::size_t x = text.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  const auto width = ParseDimension(text.substr(0, x));
  const auto height = ParseDimension(text.substr(x + 1));
  if (!width || !height) return std::nullopt;
  return WindowSize{*width, *height};
}

std::string WindowSizeText(const WindowSize& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

}  // namespace quorvel
