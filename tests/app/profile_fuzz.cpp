// Feeds arbitrary profile files to the profile reader and checks what it promises:
// the text it writes back reads as the same values, and a value it stores comes
// back exactly, whatever the rest of the file holds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Profile profile = Profile::Parse("Quorvel.INI", text);
  const Profile reread = Profile::Parse("Quorvel.INI", profile.Text());
  for (const char* section : {"config", "ports", ""}) {
    if (profile.Section(section) != reread.Section(section)) std::abort();
  }
  if (profile.GetString("config", "list", "NULL") != reread.GetString("config", "list", "NULL"))
    std::abort();

  // The input's last line as the remembered path.
  const std::string value(text.substr(text.find_last_of("\r\n") + 1));
  const std::string ports = profile.Text();
  if (!profile.SetString("config", "list", value)) std::abort();
  const Profile saved = Profile::Parse("Quorvel.INI", profile.Text());
  if (saved.GetString("config", "list", "NULL") != value) std::abort();
  if (saved.Section("ports") != Profile::Parse("Quorvel.INI", ports).Section("ports")) std::abort();
  return 0;
}
