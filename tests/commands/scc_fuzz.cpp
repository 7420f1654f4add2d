// Feeds arbitrary bytes to the SCC decoder and checks what it promises: it
// never reads past the input, never loads more records than the input holds,
// and every text it hands out ends within its field.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "commands/scc_file.h"

namespace {

template <std::size_t N>
void CheckTerminated(const char (&field)[N]) {
  if (std::memchr(field, '\0', N) == nullptr) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  const SccDecodeResult result = DecodeScc(std::span<const std::uint8_t>(data, size));
  if (size < kSccHeaderSize) {
    if (result.status != SccDecodeStatus::kRefused || !result.records.empty()) std::abort();
    return 0;
  }
  if (result.records.size() != result.loadedCount) std::abort();
  if (kSccHeaderSize + result.loadedCount * kSccRecordSize > size) std::abort();
  const SccSettings& s = result.settings;
  CheckTerminated(s.logFileName);
  CheckTerminated(s.altLogFileName);
  CheckTerminated(s.executeSettings);
  CheckTerminated(s.altExecuteSettings);
  CheckTerminated(s.resetSettings);
  CheckTerminated(s.altResetSettings);
  for (const auto& record : result.records) {
    CheckTerminated(record->comment);
    (void)CommandEntryText(*record);
  }
  // Whatever was loaded saves back to a file of the size its count says.
  if (EncodeScc(s, result.records).size() != kSccHeaderSize + result.loadedCount * kSccRecordSize)
    std::abort();
  return 0;
}
