#include "cli/scc_listing.h"

#include <cstdio>

#include "app/fixed_text.h"
#include "cli/control_character.h"
#include "commands/command_text.h"
#include "controls/field_text.h"

namespace quorvel {
namespace {

constexpr std::string_view kDataLabel = "  Data:      ";

void AppendEscaped(std::string& out, unsigned value) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", value);
  out += escaped;
}

std::string OnOff(std::int32_t value) {
  if (value == 0) return "off";
  if (value == 1) return "on";
  return "on (" + std::to_string(value) + ")";
}

std::string DirectionText(std::uint8_t direction) {
  if (direction == kToCard) return "To Smartcard";
  if (direction == kFromCard) return "From Smartcard";
  // Any other byte runs as From Smartcard; the dialog checks neither button for it.
  char text[40];
  std::snprintf(text, sizeof text, "From Smartcard (direction byte %02X)", direction);
  return text;
}

// The Edit Command dialog's data text, its lines of eight bytes one under another.
std::string DataLines(const CardCommand& command) {
  std::string text = FormatDataText(command.data, command.p3());
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    std::string line = text.substr(start, end - start);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += out.empty() ? std::string(kDataLabel) : std::string(kDataLabel.size(), ' ');
    out += line + "\n";
    start = end + 2;
  }
  return out;
}

}  // namespace

std::string Printable(std::string_view bytes) {
  const std::string text = ShownText(bytes);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (const ControlCharacter control = ControlCharacterAt(text, i); control.length > 0) {
      AppendEscaped(out, control.code);
      i += control.length - 1;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string ListScc(const SccDecodeResult& file) {
  const SccSettings& s = file.settings;
  std::string out;
  out += "Log file:         " + Printable(TextOf(s.logFileName)) + "\n";
  out += "Bin:              " + OnOff(s.bin) + "\n";
  out += "Inv:              " + OnOff(s.inverse) + "\n";
  out += "Reset settings:   " + Printable(TextOf(s.resetSettings)) + "\n";
  out += "Execute settings: " + Printable(TextOf(s.executeSettings)) + "\n";
  out += "Commands:         " + std::to_string(file.records.size()) + "\n";
  int entry = 0;
  for (const auto& command : file.records) {
    out += "\n";
    const std::string comment = Printable(TextOf(command->comment));
    out +=
        "Command " + std::to_string(++entry) + ":" + (comment.empty() ? "" : " " + comment) + "\n";
    out += "  Header:    " + FormatHeaderText(*command) + "\n";
    out += "  Direction: " + DirectionText(command->direction) + "\n";
    if (command->direction == kToCard && command->p3() > 0) {
      out += DataLines(*command);
    }
  }
  return out;
}

}  // namespace quorvel
