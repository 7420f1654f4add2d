#include "port/port_names.h"

#include <cctype>
#include <optional>

namespace quorvel {
namespace {

// DEMS and DEMU, in any case.
PortTarget DemoSimTarget(const std::string& name) {
  const std::string upper = UppercasePortName(name);
  if (upper == kDemoSimPortName) return {PortTarget::Kind::DemoSim, {}, {}};
  if (upper == kDemoUiccPortName) return {PortTarget::Kind::DemoUicc, {}, {}};
  return {};
}

PortTarget ForPath(const std::string& path) {
  if (IsDemoTarget(path)) return {PortTarget::Kind::Demo, {}, {}};
  if (IsFastDemoTarget(path)) return {PortTarget::Kind::FastDemo, {}, {}};
  if (IsT1DemoTarget(path)) return {PortTarget::Kind::T1Demo, {}, {}};
  if (const PortTarget sim = DemoSimTarget(path); sim.kind != PortTarget::Kind::Unknown) return sim;
  if (auto reader = PcscTarget(path)) return {PortTarget::Kind::PcscReader, {}, std::move(*reader)};
  return {PortTarget::Kind::Device, path, {}};
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The single digit after prefix, as in "ttyUSB7"; nothing for other names.
std::optional<char> DigitAfter(std::string_view device, std::string_view prefix) {
  if (device.size() != prefix.size() + 1 || !device.starts_with(prefix)) return std::nullopt;
  const char digit = device.back();
  if (!std::isdigit(static_cast<unsigned char>(digit))) return std::nullopt;
  return digit;
}

}  // namespace

PortTarget ResolvePortName(const std::string& portName,
                           const std::map<std::string, std::string>& overrides) {
  const std::string name = UppercasePortName(portName);
  for (const auto& [key, path] : overrides) {
    if (UppercasePortName(key) == name) return ForPath(path);
  }
  if (name == kDemoPortName) return {PortTarget::Kind::Demo, {}, {}};
  if (name == kFastDemoPortName) return {PortTarget::Kind::FastDemo, {}, {}};
  if (name == kT1DemoPortName) return {PortTarget::Kind::T1Demo, {}, {}};
  if (const PortTarget sim = DemoSimTarget(name); sim.kind != PortTarget::Kind::Unknown) return sim;
  if (name.size() != 4 || !std::isdigit(static_cast<unsigned char>(name[3]))) return {};
  const std::string prefix = name.substr(0, 3);
  const char digit = name[3];
  if (prefix == "COM" && digit != '0') {
    return {
        PortTarget::Kind::Device, "/dev/ttyS" + std::string(1, static_cast<char>(digit - 1)), {}};
  }
  if (prefix == "USB") return {PortTarget::Kind::Device, "/dev/ttyUSB" + std::string(1, digit), {}};
  if (prefix == "ACM") return {PortTarget::Kind::Device, "/dev/ttyACM" + std::string(1, digit), {}};
  if (prefix == kPcscPortPrefix) {
    return {PortTarget::Kind::PcscReader, {}, {static_cast<std::size_t>(digit - '0'), {}}};
  }
  return {};
}

std::string UppercasePortName(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool IsDemoTarget(std::string_view target) {
  return UppercasePortName(std::string(target)) == kDemoPortName;
}

bool IsFastDemoTarget(std::string_view target) {
  return UppercasePortName(std::string(target)) == kFastDemoPortName;
}

std::optional<PcscReaderRef> PcscTarget(std::string_view target) {
  const std::size_t length = kPcscTargetScheme.size();
  if (target.size() < length || UppercasePortName(std::string(target.substr(0, length))) !=
                                    UppercasePortName(std::string(kPcscTargetScheme))) {
    return std::nullopt;
  }
  std::string_view name = target.substr(kPcscTargetScheme.size());
  while (!name.empty() && IsBlank(name.front())) name.remove_prefix(1);
  while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
  return PcscReaderRef{std::nullopt, std::string(name)};
}

bool IsT1DemoTarget(std::string_view target) {
  return UppercasePortName(std::string(target)) == kT1DemoPortName;
}

std::string PortNameForDevice(std::string_view device) {
  if (const auto digit = DigitAfter(device, "ttyS"); digit && *digit != '9') {
    return "COM" + std::string(1, static_cast<char>(*digit + 1));
  }
  if (const auto digit = DigitAfter(device, "ttyUSB")) return "USB" + std::string(1, *digit);
  if (const auto digit = DigitAfter(device, "ttyACM")) return "ACM" + std::string(1, *digit);
  return {};
}

}  // namespace quorvel
