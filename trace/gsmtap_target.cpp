#include "trace/gsmtap_target.h"

#include <charconv>

#include "trace/gsmtap_packet.h"

namespace quorvel {

GsmtapTargetParse ParseGsmtapTarget(const std::string& text) {
  GsmtapTargetParse parse;
  GsmtapTarget target;
  target.port = kGsmtapPort;
  const std::size_t colon = text.rfind(':');
  target.host = text.substr(0, colon);
  if (colon != std::string::npos) {
    const std::string port = text.substr(colon + 1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || value == 0 ||
        value > 65535) {
      parse.error = "--gsmtap takes a port from 1 to 65535 after the colon, not \"" + port + "\"";
      return parse;
    }
    target.port = static_cast<std::uint16_t>(value);
  }
  if (target.host.empty() || target.host.find_first_of(" \t:[]") != std::string::npos) {
    parse.error =
        "--gsmtap needs a host name or IPv4 address, with :PORT if not 4729, such as "
        "127.0.0.1 or 127.0.0.1:4729, not \"" +
        text + "\"";
    return parse;
  }
  parse.target = std::move(target);
  return parse;
}

std::string GsmtapTargetText(const GsmtapTarget& target) {
  return target.host + ":" + std::to_string(target.port);
}

}  // namespace quorvel
