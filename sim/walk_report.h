#pragma once

#include <string>
#include <vector>

#include "sim/card_walk.h"

namespace quorvel {

// The walk as the text tree of --explore: a first line with the card's kind and the count of
// files and exchanges, the notes, then each file indented by its depth: id, name, what it is
// and its status, its decoded fields under it, its bytes last ("raw: ..."; a record file's
// records one a line, each with its decoded fields, runs of empty records in one line).
std::vector<std::string> WalkTreeLines(const CardWalk& walk);

// One JSON object for a file (one line of --format jsonl): "path", "name", "app",
// "structure", "size", "record_length", "access", "status", "raw" (hex, a list of records with
// null for those not read, or null), "decoded" (the content's fields, a directory's SELECT
// answer; null when nothing was read).
std::string WalkedFileJson(const WalkedFile& file);

}  // namespace quorvel
