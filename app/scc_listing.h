#pragma once

#include <string>

#include "commands/scc_file.h"

namespace quorvel {

// An SCC file as text to read, review and diff: the log file name, Bin, Inv, both
// settings strings, then every command with its entry number and comment, its header and
// data as the Edit Command dialog shows them, and its direction. Lines end in LF; texts
// are UTF-8 with control characters shown as \xNN.
std::string ListScc(const SccDecodeResult& file);

}  // namespace quorvel
