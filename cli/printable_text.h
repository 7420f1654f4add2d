#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// Text for one line of the command line's messages, as a field is shown: UTF-8, else read
// as Windows-1252, with every control character as \xNN, so that a name from a file cannot
// drive a terminal.
std::string Printable(std::string_view bytes);

}  // namespace quorvel
