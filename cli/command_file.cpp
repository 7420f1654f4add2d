#include "cli/command_file.h"

#include <string>

#include "commands/script_file.h"

namespace quorvel {

std::optional<CommandScript> ReadCommandFile(const std::string& path, MessageSink& messages) {
  ScriptLoadResult loaded = LoadScriptFile(path);
  if (loaded.status != SccLoadStatus::kLoaded) {
    messages.ShowMessage(loaded.message);
    return std::nullopt;
  }
  // Loaded, so only an SCC file's records can be missing.
  if (!loaded.complete) {
    const std::int32_t announced =
        loaded.script.scc.count.value_or(static_cast<std::int32_t>(loaded.script.CommandCount()));
    messages.ShowMessage("Could not load \"" + path + "\": the file ends early, with " +
                         std::to_string(loaded.script.CommandCount()) + " of its " +
                         std::to_string(announced) + " commands.");
    return std::nullopt;
  }
  return std::move(loaded.script);
}

}  // namespace quorvel
