#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/decoded.h"

namespace quorvel {

enum class FileType { kUnknown, kMf, kDf, kAdf, kEf };
enum class FileStructure { kNone, kTransparent, kLinearFixed, kCyclic, kBerTlv, kUnknown };

// "transparent", "linear fixed", "cyclic", "BER-TLV"; "MF", "DF", "ADF" for directories.
std::string StructureName(FileType type, FileStructure structure);

// A PIN or CHV a directory's SELECT answer tells of.
struct PinState {
  std::uint8_t keyReference = 0;  // 01 PIN1/CHV1, 81 PIN2 (02 CHV2 on a SIM), 0A ADM1, 11 universal
  bool enabled = true;
  std::optional<int> triesLeft;  // when the card gives them (a SIM's CHV status bytes)
};

// "PIN1", "PIN2", "universal PIN", "ADM1"... (TS 102 221 9.5.1); on a SIM "CHV1", "CHV2".
std::string PinName(std::uint8_t keyReference, bool gsm);

// What a SELECT answer says of a file, whichever form it came in.
struct FileInfo {
  FileType type = FileType::kUnknown;
  std::optional<std::uint16_t> id;
  std::vector<std::uint8_t> aid;  // an ADF's DF name
  FileStructure structure = FileStructure::kNone;
  std::optional<std::size_t> size;  // an EF's body, records included
  std::size_t recordLength = 0;
  std::size_t recordCount = 0;
  bool invalidated = false;  // SIM: file status bit 1 zero; UICC: life cycle "deactivated"
  std::string access;        // how the file may be read and written, in a line
  // SIM EF: the READ access condition (0 ALW, 1 CHV1, 2 CHV2, 4 to E ADM, F NEV).
  std::optional<std::uint8_t> readCondition;
  std::vector<PinState> pins;  // of a directory
  Decoded decoded;             // every field, for the tree
};

// The response of a SIM's SELECT (GSM 11.11 9.2.1, TS 51.011): for the MF or a DF the free
// memory, id, type, file characteristics (bit 8: CHV1 disabled), the number of child DFs,
// EFs and codes, and the status of CHV1, UNBLOCK CHV1, CHV2 and UNBLOCK CHV2 (bit 8
// initialised, bits 1 to 4 the tries left); for an EF its size, id, access conditions
// (READ|UPDATE, INCREASE, REHABILITATE|INVALIDATE), file status, structure and record length.
// Decoded as far as its bytes go, with a note where they end early.
FileInfo ParseGsmResponse(std::span<const std::uint8_t> bytes);

// The FCP template of a UICC's SELECT (TS 102 221 11.1.1.3): file descriptor (82), id (83),
// DF name (84), proprietary information (A5, holding its own 80 and 83: UICC
// characteristics and available memory), life cycle (8A), security attributes (8B, 8C,
// AB), PIN status template (C6, with its own 83: key references after the PS_DO 90),
// file size (80), total size (81) and SFI (88). Each tag is read at its own level, so the
// nested 80 and 83 are never taken for the file size or id.
FileInfo ParseFcp(std::span<const std::uint8_t> bytes);

}  // namespace quorvel
