// Feeds arbitrary header, comment and data texts to the Edit Command dialog's
// parsers and checks what they promise: they never read or write past a record,
// an accepted command shows as text that is accepted again with the same bytes,
// and a comment's bytes survive being shown and given back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "commands/command_text.h"
#include "controls/field_text.h"

namespace {

// The input as three texts, split at the first two zero bytes.
std::string_view Next(std::string_view& input) {
  const std::size_t zero = input.find('\0');
  const std::string_view part = input.substr(0, zero);
  input.remove_prefix(zero == std::string_view::npos ? input.size() : zero + 1);
  return part;
}

void CheckFieldText(std::string_view bytes) {
  const std::string shown = quorvel::ShownText(bytes);
  if (!quorvel::IsUtf8(shown)) std::abort();
  if (quorvel::EditedBytes(shown, bytes) != bytes) std::abort();
  if (quorvel::IsUtf8(bytes) && quorvel::ShownText(quorvel::EditedBytes(bytes, "\xFF")) != bytes)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string header(Next(input));
  const std::string comment(Next(input));
  const std::string dataText(input);
  CheckFieldText(comment);

  CardCommand record = NewCardCommand();
  record.direction = size > 0 ? data[0] % 3 : kToCard;
  const auto refusal = AcceptEditedCommand(record, header, comment, dataText);
  if (std::memchr(record.comment, '\0', sizeof record.comment) == nullptr) std::abort();
  if (refusal) return 0;

  // What the dialog shows for the accepted command is accepted again as it is.
  CardCommand reopened = record;
  const std::string shownData =
      record.direction == kToCard ? FormatDataText(record.data, record.p3()) : std::string();
  if (AcceptEditedCommand(reopened, FormatHeaderText(record), record.comment, shownData))
    std::abort();
  if (std::memcmp(&reopened, &record, sizeof record) != 0) std::abort();
  return 0;
}
