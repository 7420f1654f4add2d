#include "port/open_failure.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace quorvel {

std::string DescribeOpenFailure(const std::string& devicePath, int error) {
  std::string reason = devicePath + ": " + std::strerror(error);
  if (error != EACCES && error != EPERM) return reason;
  struct stat info {};
  if (stat(devicePath.c_str(), &info) != 0) return reason;
  const group* owner = getgrgid(info.st_gid);
  if (owner == nullptr) return reason;
  return reason + " (the device belongs to the group " + owner->gr_name +
         "; add your user to it and log in again)";
}

}  // namespace quorvel
