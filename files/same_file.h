#pragma once

#include <string>

namespace quorvel {

// True when both names lead to one existing file, the same device and inode, however
// they reach it: relative and absolute names, symbolic links, hard links.
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace quorvel
