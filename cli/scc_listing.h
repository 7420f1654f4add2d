#pragma once

#include <string>
#include <string_view>

#include "commands/scc_file.h"

namespace quorvel {

// An SCC file as text to read, review and diff: the log file name, Bin, Inv, both
// settings strings, then every command with its entry number and comment, its header and
// data as the Edit Command dialog shows them, and its direction. Lines end in LF; texts
// are UTF-8 with control characters shown as \xNN.
std::string ListScc(const SccDecodeResult& file);

// Text for one line, as the listing shows a field: UTF-8, else read as Windows-1252, with
// every control character as \xNN, so that a name from a file cannot drive a terminal.
std::string Printable(std::string_view bytes);

}  // namespace quorvel
