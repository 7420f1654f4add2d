#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "commands/card_command.h"

namespace quorvel {

// The SCC configuration file: a 1104-byte header of settings, then N command
// records of 620 bytes; integers 32-bit little-endian, no signature.
inline constexpr std::size_t kSccTextSize = 128;
inline constexpr std::size_t kSccReservedBlockSize = 64;
inline constexpr std::size_t kSccHeaderSize = 1104;
inline constexpr std::size_t kSccRecordSize = sizeof(CardCommand);

// Byte offsets of the header fields.
inline constexpr std::size_t kSccLogFileNameAt = 0;
inline constexpr std::size_t kSccAltLogFileNameAt = 128;
inline constexpr std::size_t kSccExecuteSettingsAt = 256;
inline constexpr std::size_t kSccAltExecuteSettingsAt = 384;
inline constexpr std::size_t kSccResetSettingsAt = 512;
inline constexpr std::size_t kSccAltResetSettingsAt = 640;
inline constexpr std::size_t kSccReservedWordAt = 768;
inline constexpr std::size_t kSccReservedBlockAt = 772;
inline constexpr std::size_t kSccResetCopiesAt = 836;  // two more copies, skipped on reading
inline constexpr std::size_t kSccBinAt = 1092;
inline constexpr std::size_t kSccInverseAt = 1096;
inline constexpr std::size_t kSccCountAt = 1100;

// The settings an SCC file holds. Text arrays are kept whole: the bytes after
// a text's zero survive a load and a save.
struct SccSettings {
  char logFileName[kSccTextSize];
  char altLogFileName[kSccTextSize];
  char executeSettings[kSccTextSize];
  char altExecuteSettings[kSccTextSize];
  char resetSettings[kSccTextSize];
  char altResetSettings[kSccTextSize];
  std::int32_t reservedWord;
  std::uint8_t reservedBlock[kSccReservedBlockSize];
  std::int32_t bin;
  std::int32_t inverse;
};

// The header a file of these settings and `count` commands starts with.
std::array<std::uint8_t, kSccHeaderSize> EncodeSccHeader(const SccSettings& settings,
                                                         std::int32_t count);

// The whole file for these settings and commands, in list order.
std::vector<std::uint8_t> EncodeScc(const SccSettings& settings,
                                    const std::vector<std::unique_ptr<CardCommand>>& commands);

enum class SccDecodeStatus {
  kOk,               // header and every announced record read
  kRefused,          // shorter than the header: nothing taken from it
  kRecordsCutShort,  // fewer whole records than announced: those present were read
};

struct SccDecodeResult {
  SccDecodeStatus status = SccDecodeStatus::kRefused;
  SccSettings settings{};
  std::vector<std::unique_ptr<CardCommand>> records;
  std::int32_t announcedCount = 0;  // N as the file gives it
  std::size_t loadedCount = 0;
  std::string message;  // for the user, when the status is not kOk: the reason
};

// Reads a file's bytes, never past their end. A text field without its zero
// is cut at 127 characters, a comment at 63; a count of zero or less means no
// records; a count beyond the file is bounded by the whole records it holds.
SccDecodeResult DecodeScc(std::span<const std::uint8_t> bytes);

// The records worth reading from a file of `fileSize` bytes that starts with this
// header: those it announces, at most the whole records it holds.
std::size_t SccRecordsToRead(std::span<const std::uint8_t> header, std::uint64_t fileSize);

// Most commands a file may hold: far more than any list kept by hand, few enough
// (62 MB) that a file announcing more never exhausts the memory.
inline constexpr std::size_t kSccMaxCommands = 100000;

enum class SccLoadStatus {
  kLoaded,   // decoded; `file` may still say that its records were cut short
  kMissing,  // there is no such file
  kRefused,  // not a file, unreadable, too short or too big: nothing taken from it
};

struct SccLoadResult {
  SccLoadStatus status = SccLoadStatus::kRefused;
  SccDecodeResult file;
  std::string message;  // for kMissing and kRefused: names the file and the reason
};

// Reads and decodes the file at `path`: only a regular file, opened without
// blocking, and only as much of it as a file of its announced count holds: the
// header, then at most that many whole records. Never throws, not even when memory
// runs out.
SccLoadResult LoadSccFile(const std::string& path);

}  // namespace quorvel
