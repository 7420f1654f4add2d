#pragma once

#include <cstdint>

namespace quorvel {

enum class Parity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : std::uint8_t { One, OnePointFive, Two };
enum class DtrControl : std::uint8_t { Disable, Enable, Handshake };
enum class RtsControl : std::uint8_t { Disable, Enable, Handshake, Toggle };

// The line state of a serial device: the character frame, the flow control and the
// modem lines at rest. A settings string changes the fields its clauses name.
struct LineSettings {
  std::uint32_t baudRate = 9600;
  Parity parity = Parity::None;
  std::uint8_t dataBits = 8;  // 5 to 8
  StopBits stopBits = StopBits::One;
  bool outXonXoff = false;      // xon=: software flow control of what we send
  bool inXonXoff = false;       // xon=: software flow control of what we receive
  bool outCtsFlow = false;      // octs=
  bool outDsrFlow = false;      // odsr=
  bool dsrSensitivity = false;  // idsr=
  DtrControl dtrControl = DtrControl::Enable;
  RtsControl rtsControl = RtsControl::Enable;

  bool operator==(const LineSettings&) const = default;
};

// Whether a device can run this frame: 1.5 stop bits go only with 5 data bits, and
// 2 stop bits never with 5.
bool IsValidFrame(const LineSettings& settings);

// Bits on the line for one character: start bit, data bits, parity bit, stop bits,
// in half bits because of the 1.5 stop bits.
unsigned HalfBitsPerCharacter(const LineSettings& settings);

// Whether two rates are within 2 % of `wanted`: what a UART's sampling of a character
// frame takes with room to spare, and how near a device must come to a rate it was set to.
bool RatesAgree(std::uint32_t rate, std::uint32_t wanted);

}  // namespace quorvel
