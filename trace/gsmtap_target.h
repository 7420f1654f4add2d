#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// Where live GSMTAP packets go: a host by name or IPv4 address, and a UDP port.
struct GsmtapTarget {
  std::string host;
  std::uint16_t port = 0;
};

// "HOST" (port 4729) or "HOST:PORT" with PORT from 1 to 65535; the reason in one line when
// the text is neither.
struct GsmtapTargetParse {
  std::optional<GsmtapTarget> target;
  std::string error;
};
GsmtapTargetParse ParseGsmtapTarget(const std::string& text);

// "127.0.0.1:4729", as messages name a target.
std::string GsmtapTargetText(const GsmtapTarget& target);

}  // namespace quorvel
