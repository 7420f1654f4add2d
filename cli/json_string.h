#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// `utf8` as a quoted JSON string: quotes, backslashes and control characters (C0, DEL
// and C1) escaped, everything else as it is. The caller passes valid UTF-8, such as a
// field's ShownText.
std::string JsonString(std::string_view utf8);

}  // namespace quorvel
