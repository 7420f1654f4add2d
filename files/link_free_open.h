#pragma once

#include <string>

namespace quorvel {

// Opens `path` for reading and writing, created when missing and cut to zero
// length, like fopen's "w+" but without going through a symbolic link anywhere
// on the way: no folder of the path and not the file itself may be a link. Only a
// regular file is opened, and the open never blocks (a named pipe or a device is
// refused). Returns the descriptor, or -1 with errno set.
int OpenForWritingWithoutLinks(const std::string& path);

}  // namespace quorvel
