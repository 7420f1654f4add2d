#pragma once

#include <string>

namespace quorvel {

// Opens a link's target the way the desktop does: a web address in the browser,
// a "mailto:" address in the mail program, a document in its program.
class LinkOpener {
 public:
  virtual ~LinkOpener() = default;
  // A result above 32 means the target was opened; 32 or less is the error code
  // whose text the user is shown.
  virtual int OpenTarget(const std::string& target) = 0;
};

}  // namespace quorvel
