#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// A PC/SC reader as a port name points at it: by its place in PC/SC's list (PCS0...PCS9), or
// by its name or a unique prefix of it (a "pcsc:" entry of [ports]). The readers present
// decide which one it is, when it is opened.
struct PcscReaderRef {
  std::optional<std::size_t> index;
  std::string name;
};

// What a four-character port name stands for on this machine.
struct PortTarget {
  enum class Kind { Device, Demo, FastDemo, T1Demo, DemoSim, DemoUicc, PcscReader, Unknown };
  Kind kind = Kind::Unknown;
  std::string devicePath;    // for Kind::Device
  PcscReaderRef pcscReader;  // for Kind::PcscReader
};

inline constexpr const char* kDemoPortName = "DEMO";
inline constexpr const char* kFastDemoPortName = "DEMF";
inline constexpr const char* kT1DemoPortName = "DEM1";
inline constexpr const char* kDemoSimPortName = "DEMS";   // a GSM SIM
inline constexpr const char* kDemoUiccPortName = "DEMU";  // a UICC with a USIM
// PCS0...PCS9: the PC/SC readers in PC/SC's order.
inline constexpr const char* kPcscPortPrefix = "PCS";
inline constexpr std::size_t kPcscPortCount = 10;
// An override target "pcsc:Reader name or unique prefix" points at a PC/SC reader.
inline constexpr std::string_view kPcscTargetScheme = "pcsc:";
// A settings string's first characters that name its port.
inline constexpr std::size_t kPortNameLength = 4;

// COM1..COM9 -> /dev/ttyS0..8, USB0..9 -> /dev/ttyUSB0..9, ACM0..9 -> /dev/ttyACM0..9,
// DEMO -> the built-in demo card, DEMF -> the fast one, DEM1 -> the T=1 one, DEMS and DEMU ->
// the demo SIM cards, PCS0..PCS9 -> the PC/SC readers by their place. An override (name ->
// device path, "DEMO", "DEMF", "DEM1", "DEMS", "DEMU" or "pcsc:Reader name") wins over these.
// Names, override keys and the "pcsc:" scheme are compared without regard to case.
PortTarget ResolvePortName(const std::string& portName,
                           const std::map<std::string, std::string>& overrides);

// Port names are compared, and shown, in upper case.
std::string UppercasePortName(std::string name);

// Whether an override's target stands for the demo card ("DEMO", in any case), the fast
// demo card ("DEMF") or the T=1 demo card ("DEM1").
bool IsDemoTarget(std::string_view target);
bool IsFastDemoTarget(std::string_view target);
bool IsT1DemoTarget(std::string_view target);
// The reader an override's target "pcsc:Name" names (blanks around the name dropped), or none
// when the target is something else.
std::optional<PcscReaderRef> PcscTarget(std::string_view target);

// The default name of a device in /dev ("ttyUSB0" -> "USB0", "ttyS0" -> "COM1"); empty for a
// device that has none.
std::string PortNameForDevice(std::string_view device);

}  // namespace quorvel
