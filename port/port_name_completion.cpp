#include "port/port_name_completion.h"

#include "port/port_names.h"

namespace quorvel {

std::vector<PortNameCompletion> CompletePortName(std::string_view settings, std::size_t cursor,
                                                 const std::vector<PortChoice>& choices) {
  std::vector<PortNameCompletion> completions;
  const std::string_view typed = settings.substr(0, settings.find(':'));
  if (cursor > typed.size()) return completions;
  const std::string prefix = UppercasePortName(std::string(typed));
  for (const PortChoice& choice : choices) {
    if (choice.name.empty() || !choice.name.starts_with(prefix)) continue;
    completions.push_back({WithPortName(settings, choice.name), PortChoiceLine(choice)});
  }
  return completions;
}

}  // namespace quorvel
