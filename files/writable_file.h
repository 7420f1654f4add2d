#pragma once

#include <string>

namespace quorvel {

enum class LinksAtName { kFollow, kRefuse };

// Why a file cannot be written anew at `path`, judged before anything is written or
// created there; empty when it can. What is there must be a regular file: a folder, a
// named pipe or a device is refused without being opened (writing to a pipe nobody reads
// would wait for ever). It must be writable: no write permission bit at all is read-only,
// for root too, and this process must be let open it for writing. A missing file's
// folder must be there and let files be made in it. With kRefuse a symbolic link at the
// name is refused as well.
std::string WhyNotWritable(const std::string& path, LinksAtName links = LinksAtName::kFollow);

}  // namespace quorvel
