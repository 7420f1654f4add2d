#include "port/port_names.h"

#include <cctype>

namespace quorvel {
namespace {

std::string Uppercased(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

PortTarget ForPath(const std::string& path) {
  if (Uppercased(path) == kDemoPortName) return {PortTarget::Kind::Demo, {}};
  return {PortTarget::Kind::Device, path};
}

}  // namespace

PortTarget ResolvePortName(const std::string& portName,
                           const std::map<std::string, std::string>& overrides) {
  const std::string name = Uppercased(portName);
  for (const auto& [key, path] : overrides) {
    if (Uppercased(key) == name) return ForPath(path);
  }
  if (name == kDemoPortName) return {PortTarget::Kind::Demo, {}};
  if (name.size() != 4 || !std::isdigit(static_cast<unsigned char>(name[3]))) return {};
  const std::string prefix = name.substr(0, 3);
  const char digit = name[3];
  if (prefix == "COM" && digit != '0') {
    return {PortTarget::Kind::Device, "/dev/ttyS" + std::string(1, static_cast<char>(digit - 1))};
  }
  if (prefix == "USB") return {PortTarget::Kind::Device, "/dev/ttyUSB" + std::string(1, digit)};
  if (prefix == "ACM") return {PortTarget::Kind::Device, "/dev/ttyACM" + std::string(1, digit)};
  return {};
}

}  // namespace quorvel
