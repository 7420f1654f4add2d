#pragma once

#include <string>
#include <string_view>

namespace quorvel {

// `utf8` as a quoted JSON string: quotes, backslashes and control characters escaped,
// everything else as it is. The caller passes valid UTF-8 (see FileTextAsUtf8).
std::string JsonString(std::string_view utf8);

}  // namespace quorvel
