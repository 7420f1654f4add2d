#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/decoded.h"
#include "sim/file_info.h"
#include "sim/known_files.h"

namespace quorvel {

enum class CardKind {
  kUnknown,  // neither class answered
  kUicc,     // class 00, FCP answers (TS 102 221)
  kGsmSim,   // class A0, GSM 11.11 answers
};

// "UICC", "GSM SIM", "unknown card".
const char* CardKindName(CardKind kind);

struct RecordRead {
  std::size_t number = 0;  // 1 for the first record
  bool read = false;
  std::vector<std::uint8_t> bytes;  // when read
  std::string status;               // "read", or why not
};

// One file of the walk, as the tree and the JSON lines show it.
struct WalkedFile {
  std::string path;  // file ids from the MF: "3F00/7F20/6F07"; the USIM is "7FFF"
  std::string name;  // "EF.IMSI"
  std::string app;   // "MF", "TELECOM", "GSM", "USIM", or an application's label
  std::size_t depth = 0;
  bool directory = false;
  std::optional<FileContent> content;  // for a known EF
  std::optional<FileInfo> info;        // its SELECT answer, decoded
  bool read = false;                   // the content (or a DF's answer) came in
  std::string status;                  // "read", "selected", or why not
  std::vector<std::uint8_t> body;      // a transparent file's bytes
  bool recordFile = false;             // read with READ RECORD
  std::vector<RecordRead> records;     // a record file's records
  Decoded decoded;                     // the content; a directory's SELECT answer
};

struct CardWalk {
  CardKind kind = CardKind::kUnknown;
  bool reached = false;    // the card answered a SELECT of the MF in one class or the other
  bool completed = false;  // the walk went through its table (not stopped, the card kept answering)
  std::string outcome;     // one line: what was walked, or why it ended
  std::vector<std::string> notes;  // class switches and the like
  std::vector<WalkedFile> files;   // in walking order, each directory before its files
  std::size_t exchanges = 0;       // commands sent, GET RESPONSE included
};

}  // namespace quorvel
