#include "cli/scc_input.h"

#include <string>

namespace quorvel {

std::optional<SccDecodeResult> ReadSccFile(const std::string& path, MessageSink& messages) {
  SccLoadResult loaded = LoadSccFile(path);
  if (loaded.status != SccLoadStatus::kLoaded) {
    messages.ShowMessage(loaded.message);
    return std::nullopt;
  }
  // Loaded, so only its records can be missing.
  if (loaded.file.status != SccDecodeStatus::kOk) {
    messages.ShowMessage("Could not load \"" + path + "\": the file ends early, with " +
                         std::to_string(loaded.file.loadedCount) + " of its " +
                         std::to_string(loaded.file.announcedCount) + " commands.");
    return std::nullopt;
  }
  return std::move(loaded.file);
}

}  // namespace quorvel
