#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "commands/script_line.h"

namespace quorvel {

// Names, settings strings and comments in a command script. They are bytes, kept
// byte for byte: a value is written bare when it reads back as itself, otherwise in
// double quotes where \\, \" and \xNN (any byte) are the only escapes. Bytes that are
// not UTF-8 are always escaped, never shown in a code page.

// A setting's value as a script writes it: bare, or quoted when it is empty, starts
// or ends with a blank, starts with a quote, ends with a backslash, holds "#", a control
// character or bytes that are not UTF-8.
std::string ValueText(std::string_view bytes);
// A command's comment as a script writes it after "# ": like a value, but "#" may
// stand bare in it.
std::string CommentText(std::string_view bytes);

// The value from the cursor on: a quoted text, or the bare text up to a "#" or the
// end of the line, blanks around it dropped. At most `limit` bytes and no zero byte;
// `what` names the value for a refusal ("a log file name").
std::string ReadValue(LineCursor& cursor, std::size_t limit, std::string_view what);
// The comment after a "#" at the cursor: the rest of the line, blanks around it
// dropped; a quoted text when it is one from its quote to the end of the line.
std::string ReadComment(LineCursor& cursor, std::size_t limit);

}  // namespace quorvel
