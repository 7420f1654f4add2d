#include "app/scc_input.h"

namespace quorvel {

std::optional<SccDecodeResult> ReadSccFile(const std::string& path, MessageSink& messages) {
  SccLoadResult loaded = LoadSccFile(path);
  if (loaded.status != SccLoadStatus::kLoaded) {
    messages.ShowMessage(loaded.message);
    return std::nullopt;
  }
  if (loaded.file.status != SccDecodeStatus::kOk) {
    messages.ShowMessage(loaded.file.message);
    return std::nullopt;
  }
  return std::move(loaded.file);
}

}  // namespace quorvel
