#pragma once

#include <string>

namespace quorvel {

// What went wrong, in words, for an error code of an open; unknown codes read
// "Unknown Error (<code>) occurred.".
std::string OpenErrorText(int code);

// The whole text of the message box after a failed open.
std::string OpenErrorMessage(int code);

}  // namespace quorvel
