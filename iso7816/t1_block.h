#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "iso7816/error_detection_code.h"

namespace quorvel {

// A T=1 block (ISO/IEC 7816-3 clause 11): the prologue NAD PCB LEN, up to 254 information
// bytes, and the error detection code.
enum class T1BlockKind : std::uint8_t {
  kInformation,   // I-block: a piece of an APDU, N(S), and M when more follows
  kReceiveReady,  // R-block: N(R), the I-block expected next, and the error that asks for it
  kSupervisory,   // S-block: a request or response about the protocol itself
};

// What an R-block names in its bits 4 to 1.
enum class T1RError : std::uint8_t { kNone = 0, kEdcOrParity = 1, kOther = 2 };

// An S-block's bits 5 to 1.
enum class T1SType : std::uint8_t { kResynch = 0, kIfs = 1, kAbort = 2, kWtx = 3 };

inline constexpr unsigned kT1PrologueLength = 3;
// The longest information field: IFSC and IFSD go up to 254; LEN = FF is invalid.
inline constexpr unsigned kT1MaxInformation = 254;
inline constexpr std::uint8_t kT1InvalidLength = 0xFF;

struct T1Block {
  std::uint8_t nad = 0;
  std::uint8_t pcb = 0;
  std::vector<std::uint8_t> information;

  T1BlockKind kind() const;
  // I-block.
  int sendSequence() const { return (pcb >> 6) & 1; }
  bool more() const { return (pcb & 0x20) != 0; }
  // R-block.
  int receiveSequence() const { return (pcb >> 4) & 1; }
  T1RError error() const { return static_cast<T1RError>(pcb & 0x0F); }
  // S-block.
  T1SType type() const { return static_cast<T1SType>(pcb & 0x1F); }
  bool response() const { return (pcb & 0x20) != 0; }
};

// Blocks with NAD 00.
T1Block MakeIBlock(int sendSequence, bool more, std::span<const std::uint8_t> information);
T1Block MakeRBlock(int receiveSequence, T1RError error);
T1Block MakeSBlock(T1SType type, bool response, std::span<const std::uint8_t> information = {});

// The block's bytes on the line, EDC included.
std::vector<std::uint8_t> EncodeT1Block(const T1Block& block, T1Edc edc);

// What the bytes received as one block are.
enum class T1Verdict : std::uint8_t {
  kValid,             // a block whose code is right and whose every field is allowed
  kCutShort,          // fewer bytes than the prologue and LEN announce
  kInvalidLength,     // LEN = FF
  kTooLong,           // more bytes than LEN announces
  kWrongEdc,          // the code does not match the bytes
  kReservedPcb,       // PCB with a reserved coding
  kWrongInformation,  // an information field the block's kind does not allow
};

struct T1Decoded {
  T1Verdict verdict = T1Verdict::kCutShort;
  // The fields as the bytes read, whatever the verdict, when the bytes hold a whole block
  // (kValid, kWrongEdc, kReservedPcb, kWrongInformation).
  T1Block block;
  std::uint16_t edcReceived = 0;  // the code as it came, and as the bytes make it
  std::uint16_t edcComputed = 0;
};

// Decodes exactly one block. Only a block whose code is right is kValid; the PCB and the
// information field are then checked: an R-block carries nothing, an S(IFS) one byte 01 to
// FE, an S(WTX) one byte not 00, S(RESYNCH) and S(ABORT) nothing.
T1Decoded DecodeT1Block(std::span<const std::uint8_t> bytes, T1Edc edc);

// "I-block N(S)=1, more follows, 32 bytes of the answer", "R-block N(R)=0, EDC or parity
// error", "S(WTX request) x2": what the block says. fromCard words an I-block's information
// as the answer's or the command's bytes.
std::string DescribeT1Block(const T1Block& block, bool fromCard);

// What the bytes a card sent as one block are: the description of a whole block and its
// verdict ("...; LRC right", "...; LRC wrong: 3C came, 3D is right"), or why they are none.
std::string ExplainReceivedT1Block(std::span<const std::uint8_t> bytes, T1Edc edc);

}  // namespace quorvel
