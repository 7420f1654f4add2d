#include "about/fallback_command.h"

#include <array>

namespace quorvel {
namespace {

constexpr std::array<std::string_view, 5> kPlaceholders = {"%1", "%u", "%U", "%f", "%F"};
constexpr std::array<std::string_view, 5> kQuotedPlaceholders = {"\"%1\"", "\"%u\"", "\"%U\"",
                                                                 "\"%f\"", "\"%F\""};

// Position of the earliest of the patterns, or npos.
std::size_t FindFirstOf(std::string_view text, const std::array<std::string_view, 5>& patterns) {
  std::size_t first = std::string_view::npos;
  for (std::string_view pattern : patterns) {
    const std::size_t at = text.find(pattern);
    if (at < first) first = at;
  }
  return first;
}

}  // namespace

std::string CommandBeforeTarget(std::string_view registered_command) {
  std::size_t cut = FindFirstOf(registered_command, kQuotedPlaceholders);
  if (cut == std::string_view::npos) cut = FindFirstOf(registered_command, kPlaceholders);
  std::string command(registered_command.substr(0, cut));
  command += ' ';
  return command;
}

}  // namespace quorvel
