#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// The main window's size as the profile remembers it: "WIDTHxHEIGHT" in pixels,
// in section "window", key "size".
struct WindowSize {
  int width = 0;
  int height = 0;
};

inline constexpr const char* kWindowSection = "window";
inline constexpr const char* kWindowSizeKey = "size";

// Null for text that is not two positive numbers of at most five digits around an "x".
std::optional<WindowSize> ParseWindowSize(std::string_view text);
std::string WindowSizeText(const WindowSize& size);

}  // namespace quorvel
