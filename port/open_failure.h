#pragma once

#include <string>

namespace quorvel {

// The second line of "Could not create handle": the device path and the system's reason.
// When access is denied it names the group that owns the device, which the user can join.
std::string DescribeOpenFailure(const std::string& devicePath, int error);

}  // namespace quorvel
