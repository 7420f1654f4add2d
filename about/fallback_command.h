#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

// Room for the whole fallback command line and its terminating zero; a longer
// line is refused rather than cut.
inline constexpr std::size_t kCommandBufferSize = 520;

// The part of a registered open command that the target completes: the command
// up to its first quoted placeholder ("%1", or a desktop field code "%u", "%U",
// "%f", "%F" between quotation marks), the opening quotation mark cut too; when
// there is none, up to its first bare placeholder; when there is none of those
// either, the whole command. A blank follows, after which the target goes.
std::string CommandBeforeTarget(std::string_view registered_command);

}  // namespace quorvel
