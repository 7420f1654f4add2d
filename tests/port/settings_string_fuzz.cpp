// Feeds arbitrary text to the settings-string parser and checks what it promises:
// a string it refuses leaves the settings as they were; a string it accepts sets
// only what its clauses name, so reading it twice changes nothing more, and the
// frame it leaves is one a device can run whenever the one before was.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "port/line_settings.h"
#include "port/settings_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  LineSettings settings;
  const LineSettings before = settings;
  if (!ParseSettingsString(text, settings)) {
    if (!(settings == before)) std::abort();
    return 0;
  }
  LineSettings again = settings;
  if (!ParseSettingsString(text, again) || !(again == settings)) std::abort();
  if (settings.baudRate == 0) std::abort();
  (void)HalfBitsPerCharacter(settings);
  return 0;
}
