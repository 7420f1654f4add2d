#include "port/port_choices.h"

#include <algorithm>

#include "port/port_names.h"

namespace quorvel {
namespace {

// What each built-in card is, by its name.
std::string DemoDescription(const std::string& name) {
  const std::string upper = UppercasePortName(name);
  if (upper == kFastDemoPortName) return "the built-in fast demo card (speed by PPS)";
  if (upper == kT1DemoPortName) return "the built-in T=1 demo card";
  if (upper == kDemoSimPortName) return "the built-in GSM SIM";
  if (upper == kDemoUiccPortName) return "the built-in UICC with a USIM";
  return "the built-in demo card";
}

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
  const PortTarget target = ResolvePortName(choice.target, {});
  const bool builtIn =
      target.kind == PortTarget::Kind::Demo || target.kind == PortTarget::Kind::FastDemo ||
      target.kind == PortTarget::Kind::T1Demo || target.kind == PortTarget::Kind::DemoSim ||
      target.kind == PortTarget::Kind::DemoUicc;
  line += choice.source == PortChoice::Source::kDemo || builtIn ? DemoDescription(choice.target)
                                                                : choice.target;
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
  text += Section("PC/SC readers:", choices, PortChoice::Source::kPcsc);
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
