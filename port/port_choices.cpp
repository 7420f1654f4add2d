#include "port/port_choices.h"

#include <algorithm>

#include "port/port_names.h"

namespace quorvel {
namespace {

constexpr const char* kDemoDescription = "the built-in demo card";
constexpr const char* kFastDemoDescription = "the built-in fast demo card (speed by PPS)";
constexpr const char* kT1DemoDescription = "the built-in T=1 demo card";

// The heading and one line for each choice from source; nothing when there are none.
std::string Section(const char* heading, const std::vector<PortChoice>& choices,
                    PortChoice::Source source) {
  std::string lines;
  for (const PortChoice& choice : choices) {
    if (choice.source == source) lines += "\n  " + PortChoiceLine(choice);
  }
  return lines.empty() ? lines : heading + lines + "\n";
}

}  // namespace

std::string PortChoiceLine(const PortChoice& choice) {
  std::string line = choice.name.empty() ? std::string() : choice.name + "  ";
  if (IsFastDemoTarget(choice.target)) {
    line += kFastDemoDescription;
  } else if (IsT1DemoTarget(choice.target)) {
    line += kT1DemoDescription;
  } else if (choice.source == PortChoice::Source::kDemo || IsDemoTarget(choice.target)) {
    line += kDemoDescription;
  } else {
    line += choice.target;
  }
  if (!choice.description.empty()) line += "  " + choice.description;
  if (choice.name.empty()) line += "  (no name of its own: give it one under [ports])";
  return line;
}

std::string WithPortName(std::string_view settings, std::string_view name) {
  const auto colon = settings.find(':');
  if (colon == std::string_view::npos) return std::string(name) + ":";
  return std::string(name) + std::string(settings.substr(colon));
}

std::string DescribePortChoices(const std::vector<PortChoice>& choices, std::string_view settings,
                                MessageAudience audience) {
  std::string text =
      Section("Serial ports on this machine:", choices, PortChoice::Source::kPresent);
  if (text.empty()) text = "Serial ports on this machine: none found\n";
  text += Section("Your names from [ports]:", choices, PortChoice::Source::kOverride);
  text += Section("Built in:", choices, PortChoice::Source::kDemo);
  const auto named =
      std::find_if(choices.begin(), choices.end(), [](const auto& c) { return !c.name.empty(); });
  if (named == choices.end()) return text;
  if (audience == MessageAudience::kCommandLine)
    return text + "To use one, name it with --port, as in --port " + named->name + ".";
  return text + "To use one, put its name first in the Execute settings, as in \"" +
         WithPortName(settings, named->name) + "\", and click Reset (on the command line: --port " +
         named->name + ").";
}

}  // namespace quorvel
