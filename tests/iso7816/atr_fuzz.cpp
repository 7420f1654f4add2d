// Feeds arbitrary bytes to the ATR decoder, to CompleteAtrLength and to the ATR list's reader,
// and checks what they promise: the decoder always explains something, never points past the
// bytes it was given, and agrees with CompleteAtrLength about where the ATR ends.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "iso7816/atr.h"
#include "iso7816/atr_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  const std::span<const std::uint8_t> bytes(data, size);

  const AtrDescription description = DecodeAtr(bytes);
  if (description.items.empty() || RenderAtr(description).empty()) std::abort();
  for (const AtrItem& item : description.items)
    if (item.offset + item.length > size || item.text.empty()) std::abort();
  const std::optional<std::size_t> length = CompleteAtrLength(bytes);
  if (description.complete != (length.has_value() && *length <= size)) std::abort();
  if (description.complete) {
    if (description.atrLength != *length) std::abort();
    if (description.atrLength + description.extraBytes != size) std::abort();
  } else if (description.extraBytes != 0 || description.atrLength > size) {
    std::abort();
  }

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const std::optional<AtrPattern> pattern = ParseAtrPattern(text)) {
    if (pattern->bytes.empty()) std::abort();
    (void)pattern->Matches(bytes);
  }
  const AtrList list = AtrList::FromText(std::string(text));
  for (const AtrListMatch& match : list.Find(bytes.first(size < 33 ? size : 33)))
    if (match.description.empty()) std::abort();
  (void)list.Size();
  return 0;
}
