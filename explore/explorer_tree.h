#pragma once

#include <string>
#include <vector>

#include "sim/card_walk.h"

namespace quorvel {

// One row of the explorer's tree: a file with its columns, or a line of what it holds.
struct ExplorerNode {
  std::string text;    // "6F07 EF.IMSI", "imsi: 310410123456789", "raw: 08 39 01 ..."
  bool file = false;   // a file's row: the columns below are its own
  std::string kind;    // "transparent", "linear fixed", "DF", "ADF"
  std::string size;    // "9 bytes", "10 records of 28 bytes"
  std::string access;  // how it may be read and written, as its SELECT answer says
  std::string status;  // "read", "selected", "needs PIN1 (69 82)", "absent (6A 82)"
  bool needsPin = false;
  std::vector<ExplorerNode> children;
};

// The walk as the explorer window shows it: the MF, under it its files and directories (DFs,
// applications) as they nest, under each EF its decoded fields and its bytes ("raw: ...", a
// record file's records one a line with each one's fields under it), under each directory
// its SELECT answer.
std::vector<ExplorerNode> ExplorerTree(const CardWalk& walk);

// The walk's first lines for the window: what was walked or why it ended, the notes, and
// PIN1 as the SELECT answers told it.
std::vector<std::string> ExplorerSummary(const CardWalk& walk);

// Every file of the walk, one JSON object a line, as --explore --format jsonl prints them.
std::string WalkJsonLines(const CardWalk& walk);

}  // namespace quorvel
