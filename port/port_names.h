#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace quorvel {

// What a four-character port name stands for on this machine.
struct PortTarget {
  enum class Kind { Device, Demo, FastDemo, T1Demo, Unknown };
  Kind kind = Kind::Unknown;
  std::string devicePath;  // for Kind::Device
};

inline constexpr const char* kDemoPortName = "DEMO";
inline constexpr const char* kFastDemoPortName = "DEMF";
inline constexpr const char* kT1DemoPortName = "DEM1";
// A settings string's first characters that name its port.
inline constexpr std::size_t kPortNameLength = 4;

// COM1..COM9 -> /dev/ttyS0..8, USB0..9 -> /dev/ttyUSB0..9, ACM0..9 -> /dev/ttyACM0..9,
// DEMO -> the built-in demo card, DEMF -> the fast one, DEM1 -> the T=1 one. An override
// (name -> device path, "DEMO", "DEMF" or "DEM1") wins over these. Names and override keys are
// compared without regard to case.
PortTarget ResolvePortName(const std::string& portName,
                           const std::map<std::string, std::string>& overrides);

// Port names are compared, and shown, in upper case.
std::string UppercasePortName(std::string name);

// Whether an override's target stands for the demo card ("DEMO", in any case), the fast
// demo card ("DEMF") or the T=1 demo card ("DEM1").
bool IsDemoTarget(std::string_view target);
bool IsFastDemoTarget(std::string_view target);
bool IsT1DemoTarget(std::string_view target);

// The default name of a device in /dev ("ttyUSB0" -> "USB0", "ttyS0" -> "COM1"); empty for a
// device that has none.
std::string PortNameForDevice(std::string_view device);

}  // namespace quorvel
