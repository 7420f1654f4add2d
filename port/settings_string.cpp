#include "port/settings_string.h"

#include <cctype>
#include <charconv>
#include <optional>
#include <string>

namespace quorvel {
namespace {

constexpr std::uint32_t kHighestBaudRate = 12'000'000;

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The mode command's two-digit short forms of the classic rates.
std::uint32_t ExpandedRate(std::uint32_t rate) {
  switch (rate) {
    case 11:
      return 110;
    case 15:
      return 150;
    case 30:
      return 300;
    case 60:
      return 600;
    case 12:
      return 1200;
    case 24:
      return 2400;
    case 48:
      return 4800;
    case 96:
      return 9600;
    case 19:
      return 19200;
    default:
      return rate;
  }
}

std::optional<std::uint32_t> ParseBaud(std::string_view value) {
  std::uint32_t rate = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), rate);
  if (error != std::errc() || end != value.data() + value.size() || value.empty()) {
    return std::nullopt;
  }
  rate = ExpandedRate(rate);
  if (rate == 0 || rate > kHighestBaudRate) return std::nullopt;
  return rate;
}

std::optional<Parity> ParseParity(std::string_view value) {
  if (value == "n") return Parity::None;
  if (value == "e") return Parity::Even;
  if (value == "o") return Parity::Odd;
  if (value == "m") return Parity::Mark;
  if (value == "s") return Parity::Space;
  return std::nullopt;
}

std::optional<std::uint8_t> ParseDataBits(std::string_view value) {
  if (value.size() == 1 && value[0] >= '5' && value[0] <= '8') {
    return static_cast<std::uint8_t>(value[0] - '0');
  }
  return std::nullopt;
}

std::optional<StopBits> ParseStopBits(std::string_view value) {
  if (value == "1") return StopBits::One;
  if (value == "1.5") return StopBits::OnePointFive;
  if (value == "2") return StopBits::Two;
  return std::nullopt;
}

std::optional<bool> ParseSwitch(std::string_view value) {
  if (value == "on") return true;
  if (value == "off") return false;
  return std::nullopt;
}

std::optional<DtrControl> ParseDtr(std::string_view value) {
  if (value == "on") return DtrControl::Enable;
  if (value == "off") return DtrControl::Disable;
  if (value == "hs") return DtrControl::Handshake;
  return std::nullopt;
}

std::optional<RtsControl> ParseRts(std::string_view value) {
  if (value == "on") return RtsControl::Enable;
  if (value == "off") return RtsControl::Disable;
  if (value == "hs") return RtsControl::Handshake;
  if (value == "tg") return RtsControl::Toggle;
  return std::nullopt;
}

// Stores a parsed value, or reports that the value could not be read.
template <typename Field, typename Value>
bool Store(Field& field, const std::optional<Value>& value) {
  if (!value) return false;
  field = *value;
  return true;
}

std::optional<ProtocolChoice> ParseProtocol(std::string_view value) {
  if (value == "t0") return ProtocolChoice::kT0;
  if (value == "t1") return ProtocolChoice::kT1;
  return std::nullopt;
}

bool ApplyClause(std::string_view clause, LineSettings& settings, ProtocolChoice& protocol) {
  const auto equals = clause.find('=');
  if (equals == std::string_view::npos) return false;
  const std::string_view key = clause.substr(0, equals);
  const std::string_view value = clause.substr(equals + 1);
  if (key == "baud") return Store(settings.baudRate, ParseBaud(value));
  if (key == "parity") return Store(settings.parity, ParseParity(value));
  if (key == "data") return Store(settings.dataBits, ParseDataBits(value));
  if (key == "stop") return Store(settings.stopBits, ParseStopBits(value));
  if (key == "xon") {
    const auto on = ParseSwitch(value);
    return Store(settings.outXonXoff, on) && Store(settings.inXonXoff, on);
  }
  if (key == "odsr") return Store(settings.outDsrFlow, ParseSwitch(value));
  if (key == "octs") return Store(settings.outCtsFlow, ParseSwitch(value));
  if (key == "idsr") return Store(settings.dsrSensitivity, ParseSwitch(value));
  if (key == "dtr") return Store(settings.dtrControl, ParseDtr(value));
  if (key == "rts") return Store(settings.rtsControl, ParseRts(value));
  if (key == "proto") return Store(protocol, ParseProtocol(value));
  // Time-outs are not part of the line: reads here always return at once.
  if (key == "to") return ParseSwitch(value).has_value();
  return false;
}

bool ApplyClauses(std::string_view text, LineSettings& settings, ProtocolChoice& protocol) {
  bool any = false;
  while (true) {
    text = TrimBlanks(text);
    if (text.empty()) return any;
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    if (!ApplyClause(text.substr(0, end), settings, protocol)) return false;
    any = true;
    text.remove_prefix(end);
  }
}

// "96,e,8,2" with an optional handshake letter: x for XON/XOFF, p for hardware.
bool ApplyOldForm(std::string_view text, LineSettings& settings) {
  std::string_view fields[6];
  std::size_t count = 0;
  while (true) {
    const auto comma = text.find(',');
    if (count == 5) return false;
    fields[count++] = TrimBlanks(text.substr(0, comma));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (!Store(settings.baudRate, ParseBaud(fields[0]))) return false;
  if (count > 1 && !Store(settings.parity, ParseParity(fields[1]))) return false;
  if (count > 2 && !Store(settings.dataBits, ParseDataBits(fields[2]))) return false;
  if (count > 3 && !Store(settings.stopBits, ParseStopBits(fields[3]))) return false;
  if (count > 4) {
    const std::string_view handshake = fields[4];
    const bool hardware = handshake == "p";
    if (!hardware && handshake != "x") return false;
    settings.outXonXoff = settings.inXonXoff = !hardware;
    settings.outCtsFlow = settings.outDsrFlow = hardware;
    settings.dtrControl = hardware ? DtrControl::Handshake : DtrControl::Enable;
    settings.rtsControl = hardware ? RtsControl::Handshake : RtsControl::Enable;
  }
  return true;
}

// Skips a leading port name and its colon ("COM2:", "demo:").
std::string_view WithoutPortName(std::string_view text) {
  text = TrimBlanks(text);
  std::size_t end = 0;
  while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end]))) ++end;
  if (end > 0 && end < text.size() && text[end] == ':') text.remove_prefix(end + 1);
  return TrimBlanks(text);
}

}  // namespace

bool ParseSettingsString(std::string_view text, LineSettings& settings) {
  ProtocolChoice ignored = ProtocolChoice::kByCard;
  return ParseSettingsString(text, settings, ignored);
}

bool ParseSettingsString(std::string_view text, LineSettings& settings, ProtocolChoice& protocol) {
  const std::string lowered = Lowered(text);
  const std::string_view rest = WithoutPortName(lowered);
  LineSettings parsed = settings;
  ProtocolChoice chosen = ProtocolChoice::kByCard;
  const bool newForm = rest.find('=') != std::string_view::npos;
  const bool read =
      newForm ? ApplyClauses(rest, parsed, chosen) : (!rest.empty() && ApplyOldForm(rest, parsed));
  if (!read) return false;
  settings = parsed;
  protocol = chosen;
  return true;
}

std::optional<ProtocolChoice> ReadProtocolChoice(std::string_view text) {
  LineSettings ignored;
  ProtocolChoice protocol = ProtocolChoice::kByCard;
  if (!ParseSettingsString(text, ignored, protocol)) return std::nullopt;
  return protocol;
}

}  // namespace quorvel
