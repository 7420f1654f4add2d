#include "commands/list_file_details.h"

#include <cstring>

namespace quorvel {
namespace {

// A value a check box shows only as on or off comes back while the box says the same.
void RestoreSwitch(std::int32_t loaded, std::int32_t& saved) {
  if ((loaded != 0) == (saved != 0)) saved = loaded;
}

}  // namespace

ListFileDetails DetailsOfLoadedScript(const CommandScript& script) {
  ListFileDetails details;
  details.settings = script.settings;
  details.scc = script.scc;
  details.leadingComments = script.leadingComments;
  details.closingComments = script.closingComments;
  return details;
}

void RestoreListFileDetails(const ListFileDetails& details, CommandScript& script) {
  SccSettings& settings = script.settings;
  RestoreSwitch(details.settings.bin, settings.bin);
  RestoreSwitch(details.settings.inverse, settings.inverse);
  // SccSettings has no padding: every byte is a field's.
  static_assert(sizeof(SccSettings) == 6 * kSccTextSize + 4 + kSccReservedBlockSize + 8);
  if (std::memcmp(&settings, &details.settings, sizeof settings) == 0)
    script.scc.headerBytes = details.scc.headerBytes;
  script.scc.count = details.scc.count;
  if (!script.KeepsCount()) script.scc.count.reset();
  script.scc.trailing = details.scc.trailing;
  script.scc.trailingNotKept = details.scc.trailingNotKept;
  script.leadingComments = details.leadingComments;
  script.closingComments = details.closingComments;
}

}  // namespace quorvel
